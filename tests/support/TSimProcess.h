#pragma once
// A korvan-sim process for one test, ended when the object goes.
#include <string>
#include <sys/types.h>
#include <vector>

#include "support/TBuildPath.h"  // the paths of the programs under test
#include "support/TDeviceTree.h"
#include "support/TTempDir.h"

namespace korvan::test {

// A korvan-sim process for one test: started with the given options, waited
// for until it has announced its endpoints, and ended (SIGTERM, then
// SIGKILL) when the object goes.
class TSimProcess {
 public:
  explicit TSimProcess(std::vector<std::string> options);
  ~TSimProcess();
  TSimProcess(const TSimProcess&) = delete;
  TSimProcess& operator=(const TSimProcess&) = delete;

  bool Started() const { return pid_ > 0 && !endpoints_.empty(); }
  // "/dev/pts/N" of "pty /dev/pts/N", or empty.
  std::string PtyPath() const;
  // The port of "tcp 127.0.0.1:PORT" / "udp 127.0.0.1:PORT", or 0.
  int TcpPort() const;
  int UdpPort() const;
  const std::vector<std::string>& Endpoints() const { return endpoints_; }

  // Ends it with SIGTERM; the exit status, or -1 when it had to be killed.
  int Terminate();
  pid_t Pid() const { return pid_; }

  static std::string BinaryPath();

 private:
  int PortOf(const std::string& kind) const;

  pid_t pid_ = -1;
  std::vector<std::string> endpoints_;
};

// A temporary folder for COMn links, set as DUOMAT_PORT_DIR while it lives.
class TPortDir {
 public:
  TPortDir();
  ~TPortDir();
  const std::string& Path() const { return dir_.Path(); }
  std::string Link(int comPort) const { return Path() + "/COM" + std::to_string(comPort); }

 private:
  TTempDir dir_{"duomat-ports"};
};

}  // namespace korvan::test
