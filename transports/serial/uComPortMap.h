#pragma once
// The device path behind a COM port number.
#include <string>

namespace korvan::transport {

// The device path behind "COMn": an entry COMn in $DUOMAT_PORT_DIR (a link
// to any tty) when there is one; else COM1–32 → ttyS0–31, COM33–64 →
// ttyUSB0–31, COM65–96 → ttyACM0–31 in $DUOMAT_DEV_DIR (default /dev).
// Empty when n has no device.
std::string ComPortDevicePath(int n);

// True for a ttyS node (or a link to one) whose port has no UART behind it:
// its $DUOMAT_SYSFS_ROOT/class/tty/ttySn/type (default /sys) reads 0. Such
// a node exists on every PC but is no port.
bool ComPortWithoutUart(const std::string& path);

}  // namespace korvan::transport
