#include "tools/korvan-sim/uFtdiTree.h"

#include <algorithm>

#include "tools/korvan-sim/uTreeWriter.h"

namespace korvan::sim {

namespace {
const std::string kDevices = "sys/bus/usb/devices";

// The stable name udev gives a converter's tty.
std::string ByIdName(const TFtdiConverter& c) {
  std::string name = "usb-FTDI_" + c.Product + "_" + c.SerialNumber + "-if00-port0";
  std::replace(name.begin(), name.end(), ' ', '_');
  return name;
}
}  // namespace

void WriteFtdiTree(const std::string& dir, const TFtdiConverter& c, const std::string& terminal) {
  TTreeWriter tree(dir);
  try {
    const std::string device = kDevices + "/" + c.Bus;
    const std::string interface = c.Bus + ":1.0";
    tree.MakeDirs(device + "/" + interface + "/" + c.Tty);
    tree.WriteFile(device + "/idVendor", "0403\n");
    tree.WriteFile(device + "/idProduct", c.ProductId + "\n");
    tree.WriteFile(device + "/serial", c.SerialNumber + "\n");
    tree.WriteFile(device + "/product", c.Product + "\n");
    tree.WriteFile(device + "/manufacturer", "FTDI\n");
    tree.WriteFile(device + "/bNumInterfaces", " 1\n");
    tree.WriteFile(device + "/" + interface + "/bInterfaceNumber", "00\n");
    tree.MakeLink(c.Bus + "/" + interface, kDevices + "/" + interface);
    tree.MakeLink(terminal, "dev/" + c.Tty);
    // As the kernel and udev show a converter's tty: its class entry and its stable name.
    tree.MakeDirs("sys/class/tty/" + c.Tty);
    tree.MakeLink("../../../bus/usb/devices/" + c.Bus + "/" + interface + "/" + c.Tty, "sys/class/tty/" + c.Tty + "/device");
    tree.MakeDirs("dev/serial/by-id");
    tree.MakeLink("../../" + c.Tty, "dev/serial/by-id/" + ByIdName(c));
  } catch (...) {
    tree.RemoveMade();  // only what was made here: nothing that was there before
    throw;
  }
}

void RemoveFtdiTree(const std::string& dir, const TFtdiConverter& c) {
  TTreeWriter tree(dir);
  const std::string device = kDevices + "/" + c.Bus;
  const std::string interface = c.Bus + ":1.0";
  // Folders go only when empty, so other converters in the same tree stay.
  for (const std::string& path :
       {"dev/" + c.Tty, "dev/serial/by-id/" + ByIdName(c), "sys/class/tty/" + c.Tty + "/device",
        kDevices + "/" + interface, device + "/idVendor", device + "/idProduct", device + "/serial",
        device + "/product", device + "/manufacturer", device + "/bNumInterfaces",
        device + "/" + interface + "/bInterfaceNumber", device + "/" + interface + "/" + c.Tty,
        device + "/" + interface, device, kDevices, std::string("sys/bus/usb"), std::string("sys/bus"),
        "sys/class/tty/" + c.Tty, std::string("sys/class/tty"), std::string("sys/class"), std::string("sys"),
        std::string("dev/serial/by-id"), std::string("dev/serial"), std::string("dev")})
    tree.Remove(path);
}

}  // namespace korvan::sim
