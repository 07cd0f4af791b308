#pragma once
// One simulated FTDI converter laid out in a device tree as the kernel lays it out.
#include <string>

namespace korvan::sim {

// One FTDI converter as the kernel lays it out, for the FTDI transport's
// kernel backend: DIR/sys/bus/usb/devices/BUS/ with idVendor 0403,
// idProduct, serial, product, manufacturer and bNumInterfaces, the interface
// folder BUS:1.0/ (bInterfaceNumber 00) with ttyUSBn/, the link BUS:1.0
// beside it, and DIR/dev/ttyUSBn a link to the terminal. Nothing is written
// through a symbolic link or over an existing name: std::runtime_error says
// why, and what was made is taken away again.
struct TFtdiConverter {
  std::string SerialNumber = "FT123456";
  std::string Product = "FT232R USB UART";
  std::string Bus = "1-1";
  std::string Tty = "ttyUSB0";
  std::string ProductId = "6001";
};

void WriteFtdiTree(const std::string& dir, const TFtdiConverter& converter, const std::string& terminal);
// Removes what WriteFtdiTree made (and folders it left empty), never through
// a symbolic link.
void RemoveFtdiTree(const std::string& dir, const TFtdiConverter& converter);

}  // namespace korvan::sim
