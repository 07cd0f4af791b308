#include "support/TComPorts.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvan::test {

TComPorts::TComPorts() {
  char pattern[] = "/tmp/duomat-machine-XXXXXX";
  if (const char* dir = mkdtemp(pattern)) root_ = dir;
  ports_ = root_ + "/ports";
  dev_ = root_ + "/dev";
  sys_ = root_ + "/sys";
  for (const std::string& d : {ports_, dev_, sys_}) std::filesystem::create_directories(d);
  setenv("DUOMAT_PORT_DIR", ports_.c_str(), 1);
  setenv("DUOMAT_DEV_DIR", dev_.c_str(), 1);
  setenv("DUOMAT_SYSFS_ROOT", sys_.c_str(), 1);
}

TComPorts::~TComPorts() {
  for (int fd : fds_) close(fd);
  for (const char* name : {"DUOMAT_PORT_DIR", "DUOMAT_DEV_DIR", "DUOMAT_SYSFS_ROOT"}) unsetenv(name);
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

std::string TComPorts::AddTerminal(int comPort) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return {};
  fds_.push_back(master);
  const std::string terminal = ptsname(master);
  std::filesystem::create_symlink(terminal, Link(comPort));
  return terminal;
}

std::string TComPorts::AddHeldTerminal(int comPort) {
  const std::string terminal = AddTerminal(comPort);
  const int fd = open(terminal.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) {
    fds_.push_back(fd);
    flock(fd, LOCK_EX | LOCK_NB);  // another open file, so it locks out our probe as another process would
  }
  return terminal;
}

void TComPorts::AddDanglingLink(int comPort) { std::filesystem::create_symlink(root_ + "/gone", Link(comPort)); }

void TComPorts::Remove(int comPort) { std::filesystem::remove(Link(comPort)); }

void TComPorts::AddDevice(const std::string& name, unsigned mode) {
  const std::string path = dev_ + "/" + name;
  std::ofstream(path).put('\0');
  chmod(path.c_str(), mode);
}

void TComPorts::SetTtyType(const std::string& name, int type) {
  const std::string dir = sys_ + "/class/tty/" + name;
  std::filesystem::create_directories(dir);
  std::ofstream(dir + "/type") << type << "\n";
}

}  // namespace korvan::test
