#pragma once
#include <string>

namespace korvan::transport {

// The device path behind "COMn": an entry COMn in $DUOMAT_PORT_DIR (a link
// to any tty) when there is one; else COM1–32 → /dev/ttyS0–31, COM33–64 →
// /dev/ttyUSB0–31, COM65–96 → /dev/ttyACM0–31. Empty when n has no device.
std::string ComPortDevicePath(int n);

}  // namespace korvan::transport
