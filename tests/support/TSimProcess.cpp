#include "support/TSimProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace korvan::test {

std::string TSimProcess::BinaryPath() { return KORVAN_SIM_PATH; }

TSimProcess::TSimProcess(std::vector<std::string> options) {
  // The arguments are made before the fork: the library's threads may hold
  // the allocator's lock at that moment, and the child must not allocate.
  std::vector<std::string> args = {BinaryPath()};
  args.insert(args.end(), options.begin(), options.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    // A test that crashes must not leave its simulator behind.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    dup2(out[1], STDOUT_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  // The simulator prints one line per endpoint, then flushes.
  size_t expected = 0;
  bool sawPty = false;
  for (const auto& o : options) {
    if (o == "--tcp" || o == "--udp" || o == "--ftdi" || o == "--hid") ++expected;
    if (o == "--pty" || o == "--link" || o == "--ftdi") sawPty = true;
  }
  if (sawPty) ++expected;
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (pid_ > 0 && endpoints_.size() < expected && std::chrono::steady_clock::now() < deadline) {
    pollfd p{out[0], POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buffer[256];
    const ssize_t n = read(out[0], buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
    size_t nl;
    while ((nl = text.find('\n')) != std::string::npos) {
      endpoints_.push_back(text.substr(0, nl));
      text.erase(0, nl + 1);
    }
  }
  close(out[0]);
}

TSimProcess::~TSimProcess() { Terminate(); }

int TSimProcess::Terminate() {
  if (pid_ <= 0) return -1;
  kill(pid_, SIGTERM);
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < deadline) {
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    usleep(10000);
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, &status, 0);
  pid_ = -1;
  return -1;
}

std::string TSimProcess::PtyPath() const {
  for (const auto& e : endpoints_)
    if (e.rfind("pty ", 0) == 0) return e.substr(4);
  return {};
}

int TSimProcess::PortOf(const std::string& kind) const {
  for (const auto& e : endpoints_)
    if (e.rfind(kind + " ", 0) == 0) return std::atoi(e.substr(e.rfind(':') + 1).c_str());
  return 0;
}

int TSimProcess::TcpPort() const { return PortOf("tcp"); }
int TSimProcess::UdpPort() const { return PortOf("udp"); }

TPortDir::TPortDir() {
  setenv("DUOMAT_PORT_DIR", Path().c_str(), 1);
}

TPortDir::~TPortDir() {
  unsetenv("DUOMAT_PORT_DIR");
}

}  // namespace korvan::test
