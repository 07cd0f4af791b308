#pragma once
// Which adapter a serial port is: its stable names and USB identity, from links and sysfs, never opening it.
#include <string>
#include <vector>

namespace duomat {

struct TUsbIdentity {
  std::string VendorID;  // four hex digits, as lsusb shows them
  std::string ProductID;
  std::string Manufacturer;
  std::string Product;
  std::string Serial;

  bool Empty() const { return VendorID.empty() || ProductID.empty(); }
  // "0403:6001"
  std::string IdPair() const { return VendorID + ":" + ProductID; }
};

struct TPortIdentity {
  // The names in $DUOMAT_DEV_DIR/serial/by-id/ that lead to the port, sorted.
  std::vector<std::string> ByID;
  TUsbIdentity Usb;  // empty when the port is no USB device
};

// The identity of the tty that `path` is or links to (a COMn link, a
// /dev/ttyUSBn): the tty is found under $DUOMAT_SYSFS_ROOT/class/tty by the
// name of the path or of a link on the way, and the USB device is the first
// folder above its "device" that has idVendor and idProduct.
TPortIdentity PortIdentity(const std::string& path);

// "usb 0403:6001 FTDI FT232R USB UART A1B2C3D4": the id pair, then the
// manufacturer, product and serial number that are known; empty for no USB device.
std::string UsbIdentityText(const TUsbIdentity& usb);

// "04d8:003f" for the decimal ids a HID connection string uses.
std::string UsbIdPair(int vendorID, int productID);

}  // namespace duomat
