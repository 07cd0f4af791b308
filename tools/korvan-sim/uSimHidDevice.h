#pragma once
// A simulated hidraw device, with its sysfs entry, in a device tree shared with other simulators.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/korvan-sim/uTreeWriter.h"

namespace korvan::sim {

struct THidIdentity {
  uint16_t VendorID = 1240;
  uint16_t ProductID = 63;
  std::string SerialNumber;  // empty: "SIM" and the hidraw number
  std::string Manufacturer = "Korvan";
  std::string Product = "korvan-sim";
};

// A simulated hidraw device in a folder tree shared with other simulators:
// the next free DIR/dev/hidrawN is a listening SOCK_SEQPACKET socket (one
// message, one report) and DIR/sys holds its sysfs entry (USB device,
// interface, HID device, hidraw entry) with a report descriptor of report
// ID 64 and 64-byte input and output reports. Nothing is written through a
// symbolic link; only its own entries are removed again.
class THidSimDevice {
 public:
  static constexpr uint8_t ReportId = 64;
  static constexpr int ReportLength = 65;  // with the ID byte

  // Throws std::runtime_error with the reason.
  THidSimDevice(const std::string& dir, const THidIdentity& identity);
  ~THidSimDevice();
  THidSimDevice(const THidSimDevice&) = delete;
  THidSimDevice& operator=(const THidSimDevice&) = delete;

  int ListenFd() const { return listen_; }
  int Number() const { return number_; }
  const std::string& Node() const { return node_; }

  // 64-byte input and output reports numbered reportId; 0 numbers none.
  static std::string ReportDescriptor(uint8_t reportId = ReportId);
  // The payload of one written report (byte 1 says how long), empty when
  // the report is malformed.
  static std::string Payload(const std::string& report);
  // Bytes as input reports: ID byte (none for report ID 0), length byte,
  // payload padded with zeros.
  static std::vector<std::string> Reports(const std::string& bytes, uint8_t reportId = ReportId);

 private:
  void WriteSysfs(THidIdentity identity);
  void Release();  // the socket, the node and the entries made

  std::unique_ptr<TTreeWriter> tree_;  // what it made in DIR
  int listen_ = -1;
  int number_ = -1;
  std::string node_;
};

}  // namespace korvan::sim
