#include "tools/korvan-sim/uSimHidDevice.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>


namespace korvan::sim {

namespace {
constexpr int kMaxDevices = 256;

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}
}  // namespace

std::string THidSimDevice::ReportDescriptor(uint8_t reportId) {
  const uint8_t head[] = {
      0x06, 0x00, 0xFF,  // usage page (vendor defined)
      0x09, 0x01,        // usage
      0xA1, 0x01,        // collection (application)
  };
  const uint8_t reports[] = {
      0x15, 0x00,        //   logical minimum 0
      0x26, 0xFF, 0x00,  //   logical maximum 255
      0x75, 0x08,        //   report size 8
      0x95, 0x40,        //   report count 64
      0x09, 0x01,        //   usage
      0x81, 0x02,        //   input (data, variable, absolute)
      0x95, 0x40,        //   report count 64
      0x09, 0x01,        //   usage
      0x91, 0x02,        //   output (data, variable, absolute)
      0xC0,              // end collection
  };
  std::string d(reinterpret_cast<const char*>(head), sizeof head);
  if (reportId != 0) d += {'\x85', static_cast<char>(reportId)};  // report ID
  return d.append(reinterpret_cast<const char*>(reports), sizeof reports);
}

std::string THidSimDevice::Payload(const std::string& report) {
  if (report.size() < 2) return {};
  const size_t length = static_cast<uint8_t>(report[1]);
  if (length + 2 > report.size()) return {};
  return report.substr(2, length);
}

std::vector<std::string> THidSimDevice::Reports(const std::string& bytes, uint8_t reportId) {
  constexpr size_t room = ReportLength - 2;
  std::vector<std::string> reports;
  for (size_t pos = 0; pos < bytes.size(); pos += room) {
    std::string report(ReportLength, '\0');
    report[0] = static_cast<char>(reportId);
    const std::string piece = bytes.substr(pos, room);
    report[1] = static_cast<char>(piece.size());
    report.replace(2, piece.size(), piece);
    if (reportId == 0) report.erase(0, 1);  // unnumbered: the data alone
    reports.push_back(std::move(report));
  }
  return reports;
}

THidSimDevice::THidSimDevice(const std::string& dir, const THidIdentity& identity)
    : tree_(std::make_unique<TTreeWriter>(dir)) {
  try {
    // bind() follows symbolic links: the folder is made, or checked, first.
    tree_->MakeDirs("dev");
    listen_ = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listen_ < 0) throw std::runtime_error(std::string("cannot create a socket: ") + std::strerror(errno));
    // Binding claims the number: it fails while another simulator holds it.
    for (int n = 0; n < kMaxDevices && number_ < 0; ++n) {
      const std::string node = dir + "/dev/hidraw" + std::to_string(n);
      sockaddr_un a{};
      a.sun_family = AF_UNIX;
      if (node.size() >= sizeof a.sun_path) throw std::runtime_error("folder name too long for a socket: " + dir);
      std::memcpy(a.sun_path, node.c_str(), node.size());
      if (::bind(listen_, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) {
        number_ = n;
        node_ = node;
      } else if (errno != EADDRINUSE) {
        throw std::runtime_error("cannot create " + node + ": " + std::strerror(errno));
      }
    }
    if (number_ < 0) throw std::runtime_error("no free hidraw number in " + dir + "/dev");
    if (::listen(listen_, 8) != 0) throw std::runtime_error(std::string("cannot listen: ") + std::strerror(errno));
    WriteSysfs(identity);
  } catch (...) {
    Release();
    throw;
  }
}

THidSimDevice::~THidSimDevice() { Release(); }

void THidSimDevice::Release() {
  if (listen_ >= 0) ::close(listen_);
  listen_ = -1;
  if (number_ >= 0) tree_->Remove("dev/hidraw" + std::to_string(number_));
  tree_->RemoveMade();
}

void THidSimDevice::WriteSysfs(THidIdentity identity) {
  if (identity.SerialNumber.empty()) identity.SerialNumber = "SIM" + std::to_string(number_);
  // As on a real machine: the USB device, its interface, the HID device, the
  // hidraw class entry linking to it.
  const std::string name = "hidraw" + std::to_string(number_);
  const std::string usbName = "usb-" + name;
  const std::string usb = "sys/devices/korvan-sim/" + usbName;
  const std::string interface = usb + "/" + usbName + ":1.0";
  const std::string hidName = "0003:" + Hex(identity.VendorID, 4) + ":" + Hex(identity.ProductID, 4) + "." +
                              Hex(static_cast<unsigned>(number_ + 1), 4);
  const std::string hid = interface + "/" + hidName;
  const std::string raw = hid + "/hidraw/" + name;
  tree_->MakeDirs(raw);
  tree_->WriteFile(usb + "/idVendor", Hex(identity.VendorID, 4) + "\n");
  tree_->WriteFile(usb + "/idProduct", Hex(identity.ProductID, 4) + "\n");
  tree_->WriteFile(usb + "/manufacturer", identity.Manufacturer + "\n");
  tree_->WriteFile(usb + "/product", identity.Product + "\n");
  tree_->WriteFile(usb + "/serial", identity.SerialNumber + "\n");
  tree_->WriteFile(interface + "/bInterfaceNumber", "00\n");
  tree_->WriteFile(hid + "/uevent",
                   "DRIVER=hid-generic\nHID_ID=0003:" + Hex(identity.VendorID, 8) + ":" + Hex(identity.ProductID, 8) +
                       "\nHID_NAME=" + identity.Manufacturer + " " + identity.Product +
                       "\nHID_PHYS=korvan-sim/input0\nHID_UNIQ=" + identity.SerialNumber +
                       "\nMODALIAS=hid:b0003g0001v0000" + Hex(identity.VendorID, 4) + "p0000" +
                       Hex(identity.ProductID, 4) + "\n");
  tree_->WriteFile(hid + "/report_descriptor", ReportDescriptor());
  tree_->WriteFile(raw + "/uevent", "MAJOR=240\nMINOR=" + std::to_string(number_) + "\nDEVNAME=" + name + "\n");
  tree_->MakeLink("../..", raw + "/device");
  // The class entry last: an enumeration never sees a half-written device.
  // The number is ours (the socket is bound), so an entry there is stale.
  tree_->Remove("sys/class/hidraw/" + name);
  tree_->MakeLink("../../devices/korvan-sim/" + usbName + "/" + usbName + ":1.0/" + hidName + "/hidraw/" + name,
                  "sys/class/hidraw/" + name);
}

}  // namespace korvan::sim
