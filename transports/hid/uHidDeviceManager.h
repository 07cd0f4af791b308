#pragma once
// The HID devices present, found through sysfs and hidraw.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "comm/uSynchronizer.h"
#include "transports/hid/uHidDevice.h"

namespace korvan::transport {

// The HID devices present, as the last refresh found them. Entries are
// counted: a refresh drops only the manager's references, so a transport
// that has opened a device keeps it until it closes.
class THidDeviceManager {
 public:
  // The one manager, created on the first call.
  static THidDeviceManager& Manager();

  explicit THidDeviceManager(std::unique_ptr<IHidBackend> backend);
  THidDeviceManager(const THidDeviceManager&) = delete;
  THidDeviceManager& operator=(const THidDeviceManager&) = delete;

  // Enumerates anew, in the backend's order.
  void Refresh();
  // The last entry with that vendor and product ID and, when serialNumber is
  // not empty, exactly that serial number; null when none matches.
  TRef<THidDevice> Find(int32_t vendorID, int32_t productID, const std::string& serialNumber);
  std::vector<TRef<THidDevice>> Entries();

 private:
  std::unique_ptr<IHidBackend> backend_;
  TMultiReadExclusiveWriteSynchronizerExtended lock_;
  std::vector<TRef<THidDevice>> entries_;
};

}  // namespace korvan::transport
