#pragma once
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "app/uPortIdentity.h"

// duomat-cli ports: the serial ports one complete scan finds.
namespace duomat::cli {

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

// Text: one line "COMn  PATH[ -> TARGET]  STATE[  usb VID:PID …][  by-id NAME…]"
// per port, then a hint when a port refused access. JSON: {"ports":[…],"usb":[]},
// each port with "by_id" and "usb" (null when it is no USB device).
std::string PortsText(const std::vector<TListedPort>& ports);
nlohmann::ordered_json PortsJson(const std::vector<TListedPort>& ports);

}  // namespace duomat::cli
