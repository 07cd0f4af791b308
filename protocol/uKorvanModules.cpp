#include "protocol/uKorvanModules.h"

#include <exception>
#include <mutex>

#include "comm/uCommModules.h"
#include "protocol/uKorvanStackDeviceList.h"

namespace korvan {

namespace {
std::mutex g_mutex;
bool g_initialized = false;
bool g_complete = false;  // a second call says what the first found
}  // namespace

bool InitializeModules(const std::vector<std::string>& arguments) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_initialized) return g_complete;
  bool complete = InitializeCommModules(arguments);
  try {
    InitializeKorvanStackDeviceList();
  } catch (const std::exception&) {
    complete = false;
  }
  g_initialized = true;
  g_complete = complete;
  return complete;
}

void FinalizeModules() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_initialized) return;
  FinalizeCommModules();
  g_initialized = false;
}

}  // namespace korvan
