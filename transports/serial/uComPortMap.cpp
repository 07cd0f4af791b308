#include "transports/serial/uComPortMap.h"

#include "platform/uSysfs.h"

#include <cstdlib>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

namespace korvan::transport {

std::string ComPortDevicePath(int n) {
  if (n < 1) return {};
  if (const char* dir = std::getenv("DUOMAT_PORT_DIR"); dir && *dir) {
    std::string link = std::string(dir) + "/COM" + std::to_string(n);
    struct stat st{};
    if (lstat(link.c_str(), &st) == 0) return link;
  }
  const std::string dev = DevDir();
  if (n <= 32) return dev + "/ttyS" + std::to_string(n - 1);
  if (n <= 64) return dev + "/ttyUSB" + std::to_string(n - 33);
  if (n <= 96) return dev + "/ttyACM" + std::to_string(n - 65);
  return {};
}

namespace {
bool IsTtySName(const std::string& name) {
  return name.size() >= 5 && name.compare(0, 4, "ttyS") == 0 && name.find_first_not_of("0123456789", 4) == std::string::npos;
}
}  // namespace

bool ComPortWithoutUart(const std::string& path) {
  // The node's own name when it is a ttyS (the mapping's name), else where a COMn link leads.
  std::string name = path.substr(path.rfind('/') + 1);
  if (!IsTtySName(name)) {
    char resolved[PATH_MAX];
    const std::string target = realpath(path.c_str(), resolved) ? resolved : path;
    name = target.substr(target.rfind('/') + 1);
    if (!IsTtySName(name)) return false;
  }
  return ReadSysfsAttribute(SysfsRoot() + "/class/tty/" + name + "/type") == "0";
}

}  // namespace korvan::transport
