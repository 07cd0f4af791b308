#include "core/uLibraryStart.h"

#include <mutex>

#include "protocol/uKorvanModules.h"
#include "transports/uTransports.h"

namespace duomat {

namespace {
std::mutex g_mutex;
bool g_transportsRegistered = false;
}  // namespace

bool StartLibrary(const std::vector<std::string>& arguments) {
  std::lock_guard<std::mutex> lock(g_mutex);
  // Not skipped on a second call: a test fixture may have stopped the modules
  // on their own, and they know themselves whether they run.
  const bool complete = korvan::InitializeModules(arguments);
  if (!g_transportsRegistered) {
    korvan::transport::RegisterTransports();
    g_transportsRegistered = true;
  }
  return complete;
}

void StopLibrary() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_transportsRegistered) {
    korvan::transport::UnregisterTransports();
    g_transportsRegistered = false;
  }
  korvan::FinalizeModules();
}

}  // namespace duomat
