#pragma once
#include <string>
#include <vector>

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

  // COMn → a new pseudo-terminal; returns the terminal's path.
  std::string AddTerminal(int comPort);
  // COMn → the terminal, then held with flock through a descriptor of its own,
  // as another program would hold it.
  std::string AddHeldTerminal(int comPort);
  // COMn → a path that does not exist.
  void AddDanglingLink(int comPort);
  void Remove(int comPort);
  // A node in the device folder (a plain file with the given mode), and the
  // sysfs type of a ttyS node.
  void AddDevice(const std::string& name, unsigned mode);
  void SetTtyType(const std::string& name, int type);

  std::string Link(int comPort) const { return ports_ + "/COM" + std::to_string(comPort); }
  const std::string& DevDir() const { return dev_; }

 private:
  std::string root_, ports_, dev_, sys_;
  std::vector<int> fds_;
};

}  // namespace korvan::test
