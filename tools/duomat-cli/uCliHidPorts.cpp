#include "tools/duomat-cli/uCliHidPorts.h"

#include <cstdio>

#include "app/uPortIdentity.h"
#include "tools/duomat-cli/uCliOutput.h"
#include "tools/duomat-cli/uCliPorts.h"
#include "transports/hid/uHidDeviceManager.h"

namespace duomat::cli {

namespace {
using korvan::TRef;
using korvan::transport::IHidBackendDevice;
using korvan::transport::THidDeviceInfo;
using korvan::transport::THidDeviceManager;

template <class F>
void ForEachHidDevice(F f) {
  THidDeviceManager& manager = THidDeviceManager::Manager();
  manager.Refresh();
  for (const auto& entry : manager.Entries())
    if (const TRef<IHidBackendDevice> device = entry->Attached()) f(device->Info());
}
}  // namespace

std::string HidPortsText() {
  std::string text, rule;
  ForEachHidDevice([&](const THidDeviceInfo& d) {
    const bool denied = NodeDenied(d.Node);
    text += "hid  " + UsbIdPair(d.VendorID, d.ProductID) + "  vid=" + std::to_string(d.VendorID) +
            " pid=" + std::to_string(d.ProductID) + "  " + Printable(d.SerialNumber) + "  " + Printable(d.Product) +
            (denied ? "  no access" : "") + "\n";
    if (denied && rule.empty()) {
      char line[160];
      std::snprintf(line, sizeof line,
                    "  SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"%04x\", ATTRS{idProduct}==\"%04x\", MODE=\"0660\", "
                    "GROUP=\"plugdev\"\n",
                    d.VendorID, d.ProductID);
      rule = line;
    }
  });
  if (!rule.empty())
    text +=
        "HID devices marked \"no access\" need a udev rule that gives a group of yours the hidraw node, for\n"
        "example in /etc/udev/rules.d/70-duomat.rules (then plug the device in again):\n" + rule;
  return text;
}

nlohmann::ordered_json HidPortsJson() {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  ForEachHidDevice([&](const THidDeviceInfo& d) {
    list.push_back({{"vid", d.VendorID},
                    {"pid", d.ProductID},
                    {"usb_id", UsbIdPair(d.VendorID, d.ProductID)},
                    {"serial", d.SerialNumber},
                    {"product", d.Product},
                    {"access", !NodeDenied(d.Node)}});
  });
  return list;
}

}  // namespace duomat::cli
