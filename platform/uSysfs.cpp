#include "platform/uSysfs.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvan {

std::string EnvDir(const char* variable, const char* fallback) {
  const char* dir = std::getenv(variable);
  return dir && *dir ? dir : fallback;
}

std::string SysfsRoot() { return EnvDir("DUOMAT_SYSFS_ROOT", "/sys"); }
std::string DevDir() { return EnvDir("DUOMAT_DEV_DIR", "/dev"); }

std::string ReadSysfsFile(const std::string& path, std::size_t limit) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return {};
  std::string text;
  struct stat st{};
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    text.resize(limit);
    std::size_t got = 0;
    while (got < limit) {
      const ssize_t n = read(fd, text.data() + got, limit - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    text.resize(got);
  }
  close(fd);
  return text;
}

std::string ReadSysfsAttribute(const std::string& path) {
  std::string text = ReadSysfsFile(path);
  const std::size_t nl = text.find('\n');
  if (nl != std::string::npos) text.resize(nl);
  while (!text.empty() && (text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace korvan
