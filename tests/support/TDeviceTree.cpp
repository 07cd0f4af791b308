#include "support/TDeviceTree.h"

#include <cstdlib>
#include <filesystem>

#include "transports/uFTD2XX.h"

namespace korvan::test {

TDeviceTree::TDeviceTree(const std::string& library) {
  char pattern[] = "/tmp/duomat-devices-XXXXXX";
  if (char* dir = mkdtemp(pattern)) path_ = dir;
  setenv("DUOMAT_SYSFS_ROOT", (path_ + "/sys").c_str(), 1);
  setenv("DUOMAT_DEV_DIR", (path_ + "/dev").c_str(), 1);
  // Never the machine's own vendor library.
  setenv("DUOMAT_D2XX_LIBRARY", library.empty() ? (path_ + "/no-library.so").c_str() : library.c_str(), 1);
  transport::D2XX().Reload();
}

TDeviceTree::~TDeviceTree() {
  unsetenv("DUOMAT_SYSFS_ROOT");
  unsetenv("DUOMAT_DEV_DIR");
  setenv("DUOMAT_D2XX_LIBRARY", "/nonexistent/libftd2xx.so", 1);
  transport::D2XX().Reload();
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace korvan::test
