#include "transports/uComPortMap.h"

#include <cstdlib>
#include <fstream>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

namespace korvan::transport {

namespace {
std::string DirFromEnvironment(const char* name, const char* fallback) {
  const char* dir = std::getenv(name);
  return dir && *dir ? dir : fallback;
}
}  // namespace

std::string ComPortDevicePath(int n) {
  if (n < 1) return {};
  if (const char* dir = std::getenv("DUOMAT_PORT_DIR"); dir && *dir) {
    std::string link = std::string(dir) + "/COM" + std::to_string(n);
    struct stat st{};
    if (lstat(link.c_str(), &st) == 0) return link;
  }
  const std::string dev = DirFromEnvironment("DUOMAT_DEV_DIR", "/dev");
  if (n <= 32) return dev + "/ttyS" + std::to_string(n - 1);
  if (n <= 64) return dev + "/ttyUSB" + std::to_string(n - 33);
  if (n <= 96) return dev + "/ttyACM" + std::to_string(n - 65);
  return {};
}

bool ComPortWithoutUart(const std::string& path) {
  char resolved[PATH_MAX];
  const std::string target = realpath(path.c_str(), resolved) ? resolved : path;
  const std::string name = target.substr(target.rfind('/') + 1);
  if (name.size() < 5 || name.compare(0, 4, "ttyS") != 0 ||
      name.find_first_not_of("0123456789", 4) != std::string::npos)
    return false;
  std::ifstream type(DirFromEnvironment("DUOMAT_SYSFS_ROOT", "/sys") + "/class/tty/" + name + "/type");
  int value = -1;
  return type >> value && value == 0;
}

}  // namespace korvan::transport
