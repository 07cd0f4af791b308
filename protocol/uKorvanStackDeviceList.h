#pragma once
// The process-wide list of every device object, with its change notification.
#include <mutex>
#include <vector>

#include "comm/uEventer.h"

namespace korvan {

class IKorvanStackDevice;

// Tells listeners the devices that exist after each change.
class TevnterKorvanDeviceListChanged : public TEventer<void(const std::vector<IKorvanStackDevice*>& devices)> {};

// The process-wide list of every device object; it owns none of them.
class TKorvanStackDeviceList {
 public:
  static TKorvanStackDeviceList& Instance();

  void Add(IKorvanStackDevice* device);
  void Remove(IKorvanStackDevice* device);
  std::vector<IKorvanStackDevice*> Devices();
  int Count();
  TevnterKorvanDeviceListChanged& OnChanged() { return changed_; }

 private:
  std::mutex mutex_;
  std::vector<IKorvanStackDevice*> devices_;
  TevnterKorvanDeviceListChanged changed_;
};

// Creates the list at start-up; later calls do nothing.
void InitializeKorvanStackDeviceList();

}  // namespace korvan
