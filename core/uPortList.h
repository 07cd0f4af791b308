#pragma once
// What lines there are to open: serial ports, FTDI converters and HID devices, with their access.
#include <string>
#include <vector>

#include "core/uPortIdentity.h"

namespace duomat {

struct TListedPort {
  int Port = 0;
  std::string Path;    // what the number maps to (the link itself for a COMn link)
  std::string Target;  // where that path links to; empty when it is no link
  std::string State;   // "free", "in use" or "no access"
  TPortIdentity Identity;  // stable names and USB identity, from links and sysfs
};

// Scans the ports 1 to 255 with the scanner's threads; false when the scan
// did not complete within the bound.
bool ListPorts(std::vector<TListedPort>& ports);

// Whether the user may not open the node for reading and writing.
bool NodeDenied(const std::string& node);

struct TListedConverter {
  std::string SerialNumber;
  std::string Description;
  bool Denied = false;  // its kernel tty refuses the user
};
std::vector<TListedConverter> ListConverters();

struct TListedHidDevice {
  int VendorID = 0, ProductID = 0;
  std::string SerialNumber, Product, Node;
  bool Denied = false;
};
std::vector<TListedHidDevice> ListHidDevices();

}  // namespace duomat
