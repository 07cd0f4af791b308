#include "tools/korvan-sim/uFtdiTree.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace korvan::sim {

namespace {
void MakeDirs(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/') continue;
    const std::string part = path.substr(0, i);
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
      throw std::runtime_error("cannot create " + part + ": " + std::strerror(errno));
  }
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path);
  out << text << "\n";
  if (!out) throw std::runtime_error("cannot write " + path);
}

void Link(const std::string& target, const std::string& link) {
  ::unlink(link.c_str());
  if (::symlink(target.c_str(), link.c_str()) != 0)
    throw std::runtime_error("cannot create link " + link + ": " + std::strerror(errno));
}

std::string Devices(const std::string& dir) { return dir + "/sys/bus/usb/devices"; }
}  // namespace

void WriteFtdiTree(const std::string& dir, const TFtdiConverter& c, const std::string& terminal) {
  const std::string device = Devices(dir) + "/" + c.Bus;
  const std::string interface = c.Bus + ":1.0";
  MakeDirs(device + "/" + interface + "/" + c.Tty);
  WriteFile(device + "/idVendor", "0403");
  WriteFile(device + "/idProduct", c.ProductId);
  WriteFile(device + "/serial", c.SerialNumber);
  WriteFile(device + "/product", c.Product);
  WriteFile(device + "/manufacturer", "FTDI");
  Link(c.Bus + "/" + interface, Devices(dir) + "/" + interface);
  MakeDirs(dir + "/dev");
  Link(terminal, dir + "/dev/" + c.Tty);
}

void RemoveFtdiTree(const std::string& dir, const TFtdiConverter& c) {
  const std::string device = Devices(dir) + "/" + c.Bus;
  const std::string interface = c.Bus + ":1.0";
  ::unlink((dir + "/dev/" + c.Tty).c_str());
  ::unlink((Devices(dir) + "/" + interface).c_str());
  for (const char* file : {"idVendor", "idProduct", "serial", "product", "manufacturer"})
    ::unlink((device + "/" + file).c_str());
  // Folders go only when empty, so other converters in the same tree stay.
  for (const std::string& folder :
       {device + "/" + interface + "/" + c.Tty, device + "/" + interface, device, Devices(dir),
        dir + "/sys/bus/usb", dir + "/sys/bus", dir + "/sys", dir + "/dev"})
    ::rmdir(folder.c_str());
}

}  // namespace korvan::sim
