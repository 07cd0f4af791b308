#pragma once
// Why a line could not be opened, in words an operator can act on.
#include <string>

namespace duomat {

// For a serial port, FTDI converter or HID device that is missing or that the
// user may not open: the device and what to do ("no access to /dev/ttyUSB0:
// it belongs to the group dialout; ..."). Empty when nothing is known.
std::string OpenFailureReason(const std::string& connection);

}  // namespace duomat
