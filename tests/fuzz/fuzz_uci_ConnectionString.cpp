// The connection-string readers, the loose reader and
// CreateCommunicationInterface on arbitrary strings and keys.
#include <cstdint>
#include <cstdlib>
#include <string>

#include <memory>

#include "comm/uObjectDestroyer.h"
#include "comm/uci_ConnectionString.h"
#include "comm/uci_ICommunicationInterface.h"
#include "core/uLibraryStart.h"
#include "platform/uEvent.h"
#include "platform/uMessageBox.h"
#include "platform/uTickCount.h"

using namespace korvan;

namespace {
void Require(bool condition) {
  if (!condition) std::abort();
}

// The wrappers free their receive threads on the destroyer's thread. Waiting
// for everything queued there keeps each input's frees inside its own run, so
// libFuzzer's per-input leak check stays quiet unless something really leaks.
void AwaitDestroyer() {
  auto done = std::make_shared<TEvent>(true, false);
  DestroyLater([done] { done->SetEvent(); });
  done->WaitFor(INFINITE);
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Serial ports named by the strings map into an empty folder, never to the machine's own.
  static char dir[] = "/tmp/duomat-fuzz-XXXXXX";
  if (mkdtemp(dir)) {
    setenv("DUOMAT_PORT_DIR", dir, 1);
    setenv("DUOMAT_DEV_DIR", dir, 1);
    setenv("DUOMAT_SYSFS_ROOT", dir, 1);
  }
  SetLibraryMessageHandler([](const std::string&) {});
  // The wrappers' receive threads pause 1 ms per turn; in simulated time they do not.
  SetSimulatedTime(true);
  duomat::StartLibrary();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // "key" NUL "string"; without a NUL the whole input is the string.
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t nul = input.find('\0');
  const std::string key = nul == std::string::npos ? "provider" : input.substr(0, nul);
  const std::string s = nul == std::string::npos ? input : input.substr(nul + 1);

  std::string value;
  int32_t number = 7;
  bool flag = true;
  if (!GetConfigurationValue(s, key, value)) Require(value.empty());
  if (!GetConfigurationInteger(s, key, number)) Require(number == 0);
  if (!GetConfigurationBoolean(s, key, flag)) Require(!flag);
  if (!StrToIntStrict(s, number)) Require(number == 0);
  if (!StrToBoolean(s, flag)) Require(!flag);
  GetConnectionValue(s, key, "default");
  GetConnectionInteger(s, key, -1);

  {
    TRef<ci::ICommunicationInterface> created;
    if (CreateCommunicationInterface(s, created)) {
      Require(static_cast<bool>(created));
      created->GetConfiguration();
      created->GetDisplayName();
    } else {
      Require(!created);
    }
  }
  AwaitDestroyer();
  return 0;
}
