#include "comm/uCommModules.h"

#include <exception>
#include <mutex>

#include "comm/uCI_Wrapper.h"
#include "comm/uObjectDestroyer.h"
#include "comm/uci_ICommunicationInterfaceDataSpy.h"

namespace korvan {

namespace {
std::mutex g_mutex;
bool g_initialized = false;
}  // namespace

bool InitializeCommModules(const std::vector<std::string>& arguments) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_initialized) return true;
  bool complete = false;
  try {
    ci::InitializeWrapperModule();
    complete = InitializeObjectDestroyer();
    ci::CheckDataSpyCommandLine(arguments);
  } catch (const std::exception&) {
    complete = false;
  }
  g_initialized = true;
  return complete;
}

void FinalizeCommModules() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_initialized) return;
  ci::FinalizeWrapperModule();
  FinalizeObjectDestroyer();
  g_initialized = false;
}

}  // namespace korvan
