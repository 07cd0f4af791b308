#pragma once
// The D2XX functions over the kernel's ftdi_sio driver, for converters the library does not see.
#include <cstdint>
#include <string>
#include <vector>

#include "transports/ftdi/uFTD2XX.h"

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
// /sys) that have a tty, in the order of their sysfs names. The ports of a
// multi-port chip are named by their USB interface number: A for interface
// 0, B for 1, whichever of them the driver has bound.
std::vector<TKernelFTDevice> KernelFTDevices();

// The D2XX functions on the kernel driver: a converter opened by serial
// number is its $DUOMAT_DEV_DIR/ttyUSBn (default /dev), with the serial
// port's own open, lock and line settings. Event notification comes from a
// thread of each handle that blocks in poll() on the tty.
const TFTD2XXFunctions& KernelD2XXFunctions();

// How many queue and modem-status requests went to the driver (each one a
// USB control request on some converters), so that tests can tell an idle
// converter is left alone.
uint64_t KernelStatusRequests();

}  // namespace korvan::transport
