#include "protocol/uKorvanStackDeviceList.h"

#include <algorithm>

namespace korvan {

TKorvanStackDeviceList& TKorvanStackDeviceList::Instance() {
  // Never destroyed: devices may outlive static destruction at exit.
  static auto* list = new TKorvanStackDeviceList();
  return *list;
}

void InitializeKorvanStackDeviceList() { TKorvanStackDeviceList::Instance(); }

void TKorvanStackDeviceList::Add(IKorvanStackDevice* device) {
  std::vector<IKorvanStackDevice*> snapshot;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    devices_.push_back(device);
    snapshot = devices_;
  }
  changed_.Notify(snapshot);
}

void TKorvanStackDeviceList::Remove(IKorvanStackDevice* device) {
  std::vector<IKorvanStackDevice*> snapshot;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find(devices_.begin(), devices_.end(), device);
    if (it == devices_.end()) return;
    devices_.erase(it);
    snapshot = devices_;
  }
  changed_.Notify(snapshot);
}

std::vector<IKorvanStackDevice*> TKorvanStackDeviceList::Devices() {
  std::lock_guard<std::mutex> lock(mutex_);
  return devices_;
}

int TKorvanStackDeviceList::Count() {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(devices_.size());
}

}  // namespace korvan
