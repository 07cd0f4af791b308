#include "transports/hid/uHidDeviceManager.h"

namespace korvan::transport {

THidDeviceManager& THidDeviceManager::Manager() {
  static THidDeviceManager manager(CreateHidRawBackend());
  return manager;
}

THidDeviceManager::THidDeviceManager(std::unique_ptr<IHidBackend> backend)
    : backend_(std::move(backend)), lock_("THidDeviceManager") {}

void THidDeviceManager::Refresh() {
  TWriteLock guard(lock_);
  entries_.clear();
  for (TRef<IHidBackendDevice>& device : backend_->Enumerate())
    entries_.push_back(CreateObject<THidDevice>(std::move(device)));
}

TRef<THidDevice> THidDeviceManager::Find(int32_t vendorID, int32_t productID, const std::string& serialNumber) {
  TReadLock guard(lock_);
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
    const TRef<IHidBackendDevice> device = (*it)->Attached();
    if (!device) continue;
    const THidDeviceInfo& info = device->Info();
    if (info.VendorID == vendorID && info.ProductID == productID &&
        (serialNumber.empty() || info.SerialNumber == serialNumber))
      return *it;
  }
  return nullptr;
}

std::vector<TRef<THidDevice>> THidDeviceManager::Entries() {
  TReadLock guard(lock_);
  return entries_;
}

}  // namespace korvan::transport
