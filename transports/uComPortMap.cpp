#include "transports/uComPortMap.h"

#include <cstdlib>
#include <sys/stat.h>

namespace korvan::transport {

std::string ComPortDevicePath(int n) {
  if (n < 1) return {};
  if (const char* dir = std::getenv("DUOMAT_PORT_DIR"); dir && *dir) {
    std::string link = std::string(dir) + "/COM" + std::to_string(n);
    struct stat st{};
    if (lstat(link.c_str(), &st) == 0) return link;
  }
  if (n <= 32) return "/dev/ttyS" + std::to_string(n - 1);
  if (n <= 64) return "/dev/ttyUSB" + std::to_string(n - 33);
  if (n <= 96) return "/dev/ttyACM" + std::to_string(n - 65);
  return {};
}

}  // namespace korvan::transport
