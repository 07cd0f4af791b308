#include "support/TDeviceTree.h"

#include <cstdlib>

#include "transports/ftdi/uFTD2XX.h"

namespace korvan::test {

TDeviceTree::TDeviceTree(const std::string& library) {
  setenv("DUOMAT_SYSFS_ROOT", (Path() + "/sys").c_str(), 1);
  setenv("DUOMAT_DEV_DIR", (Path() + "/dev").c_str(), 1);
  // Never the machine's own vendor library.
  setenv("DUOMAT_D2XX_LIBRARY", library.empty() ? (Path() + "/no-library.so").c_str() : library.c_str(), 1);
  transport::D2XX().Reload();
}

TDeviceTree::~TDeviceTree() {
  unsetenv("DUOMAT_SYSFS_ROOT");
  unsetenv("DUOMAT_DEV_DIR");
  setenv("DUOMAT_D2XX_LIBRARY", "/nonexistent/libftd2xx.so", 1);
  transport::D2XX().Reload();
}

}  // namespace korvan::test
