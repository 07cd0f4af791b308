#include "protocol/uKorvanModules.h"

#include <mutex>

#include "comm/uCI_Wrapper.h"
#include "comm/uObjectDestroyer.h"
#include "comm/uci_ICommunicationInterfaceDataSpy.h"
#include "protocol/uKorvanStackDeviceList.h"
#include "transports/uTransports.h"

namespace korvan {

namespace {
std::mutex g_mutex;
bool g_initialized = false;
}  // namespace

bool InitializeModules(const std::vector<std::string>& arguments) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_initialized) return true;
  bool complete = false;
  try {
    ci::InitializeWrapperModule();
    transport::RegisterTransports();
    complete = InitializeObjectDestroyer();
    InitializeKorvanStackDeviceList();
    ci::CheckDataSpyCommandLine(arguments);
  } catch (const std::exception&) {
    complete = false;
  }
  g_initialized = true;
  return complete;
}

void FinalizeModules() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_initialized) return;
  ci::FinalizeWrapperModule();
  transport::UnregisterTransports();
  FinalizeObjectDestroyer();
  g_initialized = false;
}

}  // namespace korvan
