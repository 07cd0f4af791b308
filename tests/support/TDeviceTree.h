#pragma once
// A temporary folder for simulated USB converters and HID devices, undone on destruction.
#include <string>

#include "support/TTempDir.h"

namespace korvan::test {

// A temporary folder for simulated USB converters and HID devices: DIR/sys
// as DUOMAT_SYSFS_ROOT, DIR/dev as DUOMAT_DEV_DIR, and the given D2XX library
// (none by default, never the machine's) loaded into the access layer.
// Undone on destruction.
class TDeviceTree {
 public:
  explicit TDeviceTree(const std::string& library = std::string());
  ~TDeviceTree();
  TDeviceTree(const TDeviceTree&) = delete;
  TDeviceTree& operator=(const TDeviceTree&) = delete;
  const std::string& Path() const { return dir_.Path(); }

 private:
  TTempDir dir_{"duomat-devices"};
};

}  // namespace korvan::test
