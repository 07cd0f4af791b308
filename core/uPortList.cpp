#include "core/uPortList.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <fcntl.h>
#include <unistd.h>

#include "core/uComPortScannerCore.h"
#include "core/uText.h"
#include "platform/uSysfs.h"
#include "transports/ftdi/uFTD2XXKernel.h"
#include "transports/ftdi/uFTDIDeviceList.h"
#include "transports/hid/uHidDeviceManager.h"

namespace duomat {

namespace {
constexpr auto kScanBound = std::chrono::seconds(30);

std::string LinkTarget(const std::string& path) {
  char target[PATH_MAX];
  const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
  return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

// A converter the kernel driver serves is its ttyUSBn; the library's own
// converters have no node we could look at.
bool ConverterDenied(const std::string& serial) {
  for (const auto& d : korvan::transport::KernelFTDevices())
    if (d.SerialNumber == serial) return NodeDenied(korvan::DevDir() + "/" + d.Tty);
  return false;
}
}  // namespace

bool NodeDenied(const std::string& node) {
  return faccessat(AT_FDCWD, node.c_str(), R_OK | W_OK, AT_EACCESS) != 0 && (errno == EACCES || errno == EPERM);
}

bool ListPorts(std::vector<TListedPort>& ports) {
  TComPortScannerCore scanner;
  const bool complete = scanner.ScanAndWait(kScanBound);
  for (int n = 1; n <= ComPortCount; ++n) {
    const TComPortProbe probe = scanner.Shared().Probe(n);
    if (scanner.Shared().State(n) != psFree && scanner.Shared().State(n) != psNotAvailable) continue;
    const bool denied = probe.Error == EACCES || probe.Error == EPERM;
    ports.push_back({n, probe.Path, LinkTarget(probe.Path),
                     probe.State == psFree ? DUOMAT_NOOP_EN("duomat-cli", "free")
                     : denied              ? DUOMAT_NOOP_EN("duomat-cli", "no access")
                                           : DUOMAT_NOOP_EN("duomat-cli", "in use"),
                     PortIdentity(probe.Path)});
  }
  return complete;
}

std::vector<TListedConverter> ListConverters() {
  std::vector<TListedConverter> list;
  for (const auto& d : korvan::transport::FTDIDevices())
    list.push_back({d.SerialNumber, d.Description, ConverterDenied(d.SerialNumber)});
  return list;
}

std::vector<TListedHidDevice> ListHidDevices() {
  using korvan::transport::IHidBackendDevice;
  korvan::transport::THidDeviceManager& manager = korvan::transport::THidDeviceManager::Manager();
  manager.Refresh();
  std::vector<TListedHidDevice> list;
  for (const auto& entry : manager.Entries())
    if (const korvan::TRef<IHidBackendDevice> device = entry->Attached()) {
      const auto& d = device->Info();
      list.push_back({d.VendorID, d.ProductID, d.SerialNumber, d.Product, d.Node, NodeDenied(d.Node)});
    }
  return list;
}

}  // namespace duomat
