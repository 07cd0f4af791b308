#pragma once
// The simulated HID module made a real kernel HID device through /dev/uhid.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/korvan-sim/uSimHidDevice.h"

namespace korvan::sim {

// A USB HID device that the kernel creates from our descriptor (64-byte input
// and output reports, numbered or not), so hidraw, udev and the rules meet it
// as they meet the module. Needs write access to /dev/uhid (root). The
// descriptor and the report framing are those of THidSimDevice.
class TSimUhidDevice {
 public:
  // Throws std::runtime_error with the reason. reportId 0: reports unnumbered.
  TSimUhidDevice(const THidIdentity& identity, uint8_t reportId,
                 const std::string& uhidPath = "/dev/uhid");
  ~TSimUhidDevice();  // the kernel removes the device when the file closes
  TSimUhidDevice(const TSimUhidDevice&) = delete;
  TSimUhidDevice& operator=(const TSimUhidDevice&) = delete;

  // A read buffer of this size holds any event whole.
  static constexpr size_t MaxEventSize = 8192;

  int Fd() const { return fd_; }
  uint8_t ReportId() const { return reportId_; }
  // "hidrawN" once the kernel has made the node; waits at most timeoutMs.
  std::string WaitForHidraw(int timeoutMs) const;

  // One UHID_INPUT2 event (as short as the kernel takes it) for an input report.
  static std::string InputEvent(const std::string& report);
  // The payload of one event read from the device: a UHID_OUTPUT report as
  // a device numbering its reports reportId (0: none) would see it, empty
  // for every other event.
  static std::string Decode(const std::string& event, uint8_t reportId);
  // The payload of an output report as written to hidraw. USB HID sends a
  // leading 0 of an unnumbered device as nothing and any other byte as the
  // report's first; a numbered report must carry our ID.
  static std::string DevicePayload(const std::string& written, uint8_t reportId);

 private:
  const uint8_t reportId_;
  std::string phys_;  // tells our HID device from others with the same IDs
  int fd_ = -1;
};

}  // namespace korvan::sim
