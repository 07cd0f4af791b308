#include "tools/duomat-cli/uCliHidPorts.h"

#include "app/uPortIdentity.h"
#include "transports/uHidDeviceManager.h"

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
  std::string text;
  ForEachHidDevice([&](const THidDeviceInfo& d) {
    text += "hid  " + UsbIdPair(d.VendorID, d.ProductID) + "  vid=" + std::to_string(d.VendorID) + " pid=" + std::to_string(d.ProductID) + "  " +
            d.SerialNumber + "  " + d.Product + "\n";
  });
  return text;
}

nlohmann::ordered_json HidPortsJson() {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  ForEachHidDevice([&](const THidDeviceInfo& d) {
    list.push_back({{"vid", d.VendorID}, {"pid", d.ProductID}, {"usb_id", UsbIdPair(d.VendorID, d.ProductID)},
                    {"serial", d.SerialNumber}, {"product", d.Product}});
  });
  return list;
}

}  // namespace duomat::cli
