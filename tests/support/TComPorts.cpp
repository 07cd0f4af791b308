#include "support/TComPorts.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvan::test {

namespace {
constexpr const char* kVariables[] = {"DUOMAT_PORT_DIR", "DUOMAT_DEV_DIR", "DUOMAT_SYSFS_ROOT"};
constexpr const char* kFolders[] = {"/ports", "/dev", "/sys"};
}  // namespace

TComPorts::TComPorts() {
  for (int i = 0; i < 3; ++i) {
    std::filesystem::create_directories(root_.Path() + kFolders[i]);
    setenv(kVariables[i], (root_.Path() + kFolders[i]).c_str(), 1);
  }
}

TComPorts::~TComPorts() {
  for (int fd : fds_) close(fd);  // -1 from a failed open does no harm
  for (const char* name : kVariables) unsetenv(name);
}

std::string TComPorts::AddTerminal(int comPort, bool held) {
  fds_.push_back(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (fds_.back() < 0 || grantpt(fds_.back()) != 0 || unlockpt(fds_.back()) != 0) return {};
  const std::string terminal = ptsname(fds_.back());
  std::filesystem::create_symlink(terminal, Link(comPort));
  if (held) {
    fds_.push_back(open(terminal.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    flock(fds_.back(), LOCK_EX | LOCK_NB);
  }
  return terminal;
}

void TComPorts::AddDanglingLink(int comPort) {
  std::filesystem::create_symlink(root_.Path() + "/gone", Link(comPort));
}

std::string TComPorts::AddTtyS(int index, int type) {
  const std::string name = "ttyS" + std::to_string(index);
  // A pseudo-terminal nobody may open stands in for a device node (making one needs root).
  fds_.push_back(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (fds_.back() < 0 || grantpt(fds_.back()) != 0 || unlockpt(fds_.back()) != 0) return {};
  const std::string terminal = ptsname(fds_.back());
  chmod(terminal.c_str(), 0);
  std::filesystem::create_symlink(terminal, DevDir() + "/" + name);
  std::filesystem::create_directories(root_.Path() + "/sys/class/tty/" + name);
  std::ofstream(root_.Path() + "/sys/class/tty/" + name + "/type") << type << "\n";
  return terminal;
}

}  // namespace korvan::test
