#include "protocol/uKorvanModules.h"

#include <exception>
#include <mutex>

#include "comm/uCommModules.h"
#include "protocol/uKorvanStackDeviceList.h"

namespace korvan {

namespace {
std::mutex g_mutex;
bool g_initialized = false;
}  // namespace

bool InitializeModules(const std::vector<std::string>& arguments) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_initialized) return true;
  bool complete = InitializeCommModules(arguments);
  try {
    InitializeKorvanStackDeviceList();
  } catch (const std::exception&) {
    complete = false;
  }
  g_initialized = true;
  return complete;
}

void FinalizeModules() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_initialized) return;
  FinalizeCommModules();
  g_initialized = false;
}

}  // namespace korvan
