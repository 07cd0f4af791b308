#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "transports/uFTD2XX.h"

namespace korvan::transport {

// A converter bound to the kernel's ftdi_sio driver, as sysfs shows it.
struct TKernelFTDevice {
  std::string SerialNumber;  // with A, B, ... for each port of a multi-port chip
  std::string Description;   // the product string
  std::string Tty;           // "ttyUSB0"
  uint16_t VendorId = 0;
  uint16_t ProductId = 0;
};

// Converters (vendor 0403) under $DUOMAT_SYSFS_ROOT/bus/usb/devices (default
// /sys) that have a tty, in the order of their sysfs names.
std::vector<TKernelFTDevice> KernelFTDevices();

// The D2XX functions on the kernel driver: a converter opened by serial
// number is its $DUOMAT_DEV_DIR/ttyUSBn (default /dev), with the serial
// port's own open, lock and line settings. Event notification comes from a
// thread of each handle that blocks in poll() on the tty.
const TFTD2XXFunctions& KernelD2XXFunctions();

}  // namespace korvan::transport
