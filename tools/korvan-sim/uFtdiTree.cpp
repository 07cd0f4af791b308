#include "tools/korvan-sim/uFtdiTree.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <unistd.h>

#include "tools/korvan-sim/uSysfsFile.h"

namespace korvan::sim {

namespace {
void MakeDirs(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  if (error) throw std::runtime_error("cannot create " + path + ": " + error.message());
}

void WriteFile(const std::string& path, const std::string& text) { WriteSysfsFile(path, text + "\n"); }

void Link(const std::string& target, const std::string& link) {
  ::unlink(link.c_str());
  if (::symlink(target.c_str(), link.c_str()) != 0)
    throw std::runtime_error("cannot create link " + link + ": " + std::strerror(errno));
}

std::string Devices(const std::string& dir) { return dir + "/sys/bus/usb/devices"; }

// The stable name udev gives a converter's tty.
std::string ByIdName(const TFtdiConverter& c) {
  std::string name = "usb-FTDI_" + c.Product + "_" + c.SerialNumber + "-if00-port0";
  std::replace(name.begin(), name.end(), ' ', '_');
  return name;
}
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
  // As the kernel and udev show a converter's tty: its class entry and its stable name.
  MakeDirs(dir + "/sys/class/tty/" + c.Tty);
  Link("../../../bus/usb/devices/" + c.Bus + "/" + interface + "/" + c.Tty, dir + "/sys/class/tty/" + c.Tty + "/device");
  MakeDirs(dir + "/dev/serial/by-id");
  Link("../../" + c.Tty, dir + "/dev/serial/by-id/" + ByIdName(c));
}

void RemoveFtdiTree(const std::string& dir, const TFtdiConverter& c) {
  const std::string device = Devices(dir) + "/" + c.Bus;
  const std::string interface = c.Bus + ":1.0";
  ::unlink((dir + "/dev/" + c.Tty).c_str());
  ::unlink((dir + "/dev/serial/by-id/" + ByIdName(c)).c_str());
  ::unlink((dir + "/sys/class/tty/" + c.Tty + "/device").c_str());
  ::unlink((Devices(dir) + "/" + interface).c_str());
  for (const char* file : {"idVendor", "idProduct", "serial", "product", "manufacturer"})
    ::unlink((device + "/" + file).c_str());
  // Folders go only when empty, so other converters in the same tree stay.
  for (const std::string& folder :
       {device + "/" + interface + "/" + c.Tty, device + "/" + interface, device, Devices(dir),
        dir + "/sys/bus/usb", dir + "/sys/bus", dir + "/sys/class/tty/" + c.Tty, dir + "/sys/class/tty",
        dir + "/sys/class", dir + "/sys", dir + "/dev/serial/by-id", dir + "/dev/serial", dir + "/dev"})
    ::rmdir(folder.c_str());
}

}  // namespace korvan::sim
