#pragma once
// COM ports for port-probing tests: temporary folders with COMn links to pseudo-terminals.
#include <string>
#include <vector>

#include "support/TTempDir.h"

namespace korvan::test {

// A machine of our own for port probing: temporary DUOMAT_PORT_DIR,
// DUOMAT_DEV_DIR and DUOMAT_SYSFS_ROOT (all empty at first), and COMn links
// to pseudo-terminals whose masters stay open while this object lives.
class TComPorts {
 public:
  TComPorts();
  ~TComPorts();
  TComPorts(const TComPorts&) = delete;
  TComPorts& operator=(const TComPorts&) = delete;

  // COMn → a new pseudo-terminal; returns the terminal's path. A held one is
  // locked with flock through a descriptor of its own, as another program would.
  std::string AddTerminal(int comPort, bool held = false);
  // COMn → a path that does not exist.
  void AddDanglingLink(int comPort);
  // A ttyS node in the device folder (a link to a pseudo-terminal that only
  // root may open) with its sysfs type (0: no UART behind it).
  // Returns the terminal.
  std::string AddTtyS(int index, int type);

  std::string Link(int comPort) const { return root_.Path() + "/ports/COM" + std::to_string(comPort); }
  std::string DevDir() const { return root_.Path() + "/dev"; }
  std::string SysfsRoot() const { return root_.Path() + "/sys"; }

 private:
  TTempDir root_{"duomat-machine"};
  std::vector<int> fds_;
};

}  // namespace korvan::test
