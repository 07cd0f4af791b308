#include "core/uLibraryStart.h"

#include <mutex>

#include "protocol/uKorvanModules.h"
#include "transports/uTransports.h"

namespace duomat {

namespace {
std::mutex g_mutex;
bool g_started = false;
}  // namespace

bool StartLibrary(const std::vector<std::string>& arguments) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_started) return true;
  const bool complete = korvan::InitializeModules(arguments);
  korvan::transport::RegisterTransports();
  g_started = true;
  return complete;
}

void StopLibrary() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_started) return;
  korvan::transport::UnregisterTransports();
  korvan::FinalizeModules();
  g_started = false;
}

}  // namespace duomat
