#pragma once
#include <string>

namespace korvan::sim {

// One FTDI converter as the kernel lays it out, for the FTDI transport's
// kernel backend: DIR/sys/bus/usb/devices/BUS/ with idVendor 0403,
// idProduct, serial, product and manufacturer, the interface folder
// BUS:1.0/ttyUSBn/, the link BUS:1.0 beside it, and DIR/dev/ttyUSBn a link to
// the terminal. Throws std::runtime_error when a part cannot be made.
struct TFtdiConverter {
  std::string SerialNumber = "FT123456";
  std::string Product = "FT232R USB UART";
  std::string Bus = "1-1";
  std::string Tty = "ttyUSB0";
  std::string ProductId = "6001";
};

void WriteFtdiTree(const std::string& dir, const TFtdiConverter& converter, const std::string& terminal);
// Removes what WriteFtdiTree made (and folders it left empty).
void RemoveFtdiTree(const std::string& dir, const TFtdiConverter& converter);

}  // namespace korvan::sim
