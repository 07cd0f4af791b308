#include "tools/duomat-cli/uCliPorts.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <unistd.h>

#include "app/uComPortScannerCore.h"
#include "platform/uSysfs.h"
#include "tools/duomat-cli/uCliOutput.h"
#include "transports/ftdi/uFTD2XXKernel.h"
#include "transports/ftdi/uFTDIDeviceList.h"

namespace duomat::cli {

namespace {
constexpr auto kScanBound = std::chrono::seconds(30);

std::string LinkTarget(const std::string& path) {
  char target[PATH_MAX];
  const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
  return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}
// Sysfs strings are the device's own: escaped for the terminal.
std::string IdentityText(const TPortIdentity& identity) {
  std::string text;
  if (!identity.Usb.Empty()) text += "  " + Printable(UsbIdentityText(identity.Usb));
  if (!identity.ByID.empty()) text += "  by-id";
  for (const std::string& name : identity.ByID) text += " " + Printable(name);
  return text;
}

nlohmann::ordered_json UsbJson(const TUsbIdentity& usb) {
  if (usb.Empty()) return nullptr;
  return {{"vendor_id", usb.VendorID}, {"product_id", usb.ProductID}, {"manufacturer", usb.Manufacturer},
          {"product", usb.Product}, {"serial", usb.Serial}};
}

// A converter the kernel driver serves is its ttyUSBn; the library's own
// converters have no node we could look at.
bool ConverterDenied(const std::string& serial) {
  for (const auto& d : korvan::transport::KernelFTDevices())
    if (d.SerialNumber == serial) return NodeDenied(korvan::DevDir() + "/" + d.Tty);
  return false;
}

struct TListedConverter {
  korvan::transport::TFTDIListedDevice Device;
  bool Denied = false;
};

std::vector<TListedConverter> Converters() {
  std::vector<TListedConverter> list;
  for (const auto& d : korvan::transport::FTDIDevices()) list.push_back({d, ConverterDenied(d.SerialNumber)});
  return list;
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
                     probe.State == psFree ? "free" : denied ? "no access" : "in use", PortIdentity(probe.Path)});
  }
  return complete;
}

std::string PortsText(const std::vector<TListedPort>& ports) {
  std::string text;
  bool denied = false;
  for (const TListedPort& p : ports) {
    text += "COM" + std::to_string(p.Port) + "  " + Printable(p.Path);
    if (!p.Target.empty()) text += " -> " + Printable(p.Target);
    text += "  " + p.State + IdentityText(p.Identity) + "\n";
    denied = denied || p.State == "no access";
  }
  if (ports.empty()) text += "No serial ports found.\n";
  for (const auto& c : Converters()) {
    text += "usb  " + Printable(c.Device.SerialNumber) + "  " + Printable(c.Device.Description) +
            (c.Denied ? "  no access" : "") + "\n";
    denied = denied || c.Denied;
  }
  if (denied)
    text +=
        "Ports and converters marked \"no access\" need membership in the group that owns them (usually\n"
        "dialout):  sudo usermod -aG dialout $USER   (then log in again)\n";
  return text;
}

nlohmann::ordered_json PortsJson(const std::vector<TListedPort>& ports) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const TListedPort& p : ports)
    list.push_back({{"port", p.Port}, {"path", p.Path}, {"target", p.Target}, {"state", p.State},
                    {"by_id", p.Identity.ByID}, {"usb", UsbJson(p.Identity.Usb)}});
  nlohmann::ordered_json usb = nlohmann::ordered_json::array();
  for (const auto& c : Converters())
    usb.push_back({{"serial", c.Device.SerialNumber}, {"description", c.Device.Description}, {"access", !c.Denied}});
  return {{"ports", list}, {"usb", usb}};
}

}  // namespace duomat::cli
