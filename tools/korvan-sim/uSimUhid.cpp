#include "tools/korvan-sim/uSimUhid.h"

#include <fcntl.h>
#include <linux/input.h>
#include <linux/uhid.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <thread>

namespace korvan::sim {

static_assert(sizeof(uhid_event) <= TSimUhidDevice::MaxEventSize);

namespace {
void CopyText(__u8* to, size_t size, const std::string& text) {
  std::memcpy(to, text.data(), std::min(text.size(), size - 1));  // the rest stays 0
}
}  // namespace

TSimUhidDevice::TSimUhidDevice(const THidIdentity& identity, uint8_t reportId,
                               const std::string& uhidPath)
    : reportId_(reportId),
      phys_("korvan-sim/" + std::to_string(::getpid()) + "/" + std::to_string(reportId)) {
  fd_ = ::open(uhidPath.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
  if (fd_ < 0)
    throw std::runtime_error("cannot open " + uhidPath +
                             " (root's, made by the uhid module): " + std::strerror(errno));
  auto ev = std::make_unique<uhid_event>();  // zeroed; large, so off the stack
  ev->type = UHID_CREATE2;
  uhid_create2_req& c = ev->u.create2;
  CopyText(c.name, sizeof c.name, identity.Manufacturer + " " + identity.Product);
  CopyText(c.phys, sizeof c.phys, phys_);
  CopyText(c.uniq, sizeof c.uniq,
           identity.SerialNumber.empty() ? "SIMUHID" : identity.SerialNumber);
  const std::string descriptor = THidSimDevice::ReportDescriptor(reportId);
  std::memcpy(c.rd_data, descriptor.data(), descriptor.size());
  c.rd_size = static_cast<__u16>(descriptor.size());
  c.bus = BUS_USB;
  c.vendor = identity.VendorID;
  c.product = identity.ProductID;
  if (::write(fd_, ev.get(), sizeof *ev) != static_cast<ssize_t>(sizeof *ev)) {
    const std::string reason = std::strerror(errno);
    ::close(fd_);
    throw std::runtime_error("cannot create a HID device through " + uhidPath + ": " + reason);
  }
}

TSimUhidDevice::~TSimUhidDevice() {
  if (fd_ >= 0) ::close(fd_);
}

std::string TSimUhidDevice::WaitForHidraw(int timeoutMs) const {
  namespace fs = std::filesystem;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  // The kernel announces the start before it connects hidraw: look until it is there.
  do {
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator("/sys/class/hidraw", ec)) {
      std::ifstream uevent(e.path() / "device" / "uevent");
      for (std::string line; std::getline(uevent, line);)
        if (line == "HID_PHYS=" + phys_) return e.path().filename().string();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  } while (std::chrono::steady_clock::now() < deadline);
  throw std::runtime_error(
      "the kernel made no hidraw node for the HID device (is hid-generic loaded?)");
}

std::string TSimUhidDevice::InputEvent(const std::string& report) {
  uhid_event ev{};
  ev.type = UHID_INPUT2;
  const size_t size = std::min<size_t>(report.size(), UHID_DATA_MAX);
  ev.u.input2.size = static_cast<__u16>(size);
  std::memcpy(ev.u.input2.data, report.data(), size);
  return std::string(reinterpret_cast<const char*>(&ev),
                     offsetof(uhid_event, u) + offsetof(uhid_input2_req, data) + size);
}

std::string TSimUhidDevice::Decode(const std::string& event, uint8_t reportId) {
  if (event.size() < offsetof(uhid_event, u) + sizeof(uhid_output_req)) return {};
  uhid_event ev{};
  std::memcpy(&ev, event.data(), std::min(event.size(), sizeof ev));
  if (ev.type != UHID_OUTPUT || ev.u.output.rtype != UHID_OUTPUT_REPORT) return {};
  const size_t size = std::min<size_t>(ev.u.output.size, UHID_DATA_MAX);
  return DevicePayload(std::string(reinterpret_cast<const char*>(ev.u.output.data), size),
                       reportId);
}

std::string TSimUhidDevice::DevicePayload(const std::string& written, uint8_t reportId) {
  if (written.empty()) return {};
  const uint8_t first = static_cast<uint8_t>(written[0]);
  // The device takes a report of its own length; what follows would be a
  // transfer of its own.
  if (reportId != 0)
    return first == reportId
               ? THidSimDevice::Payload(written.substr(0, THidSimDevice::ReportLength))
               : std::string();
  // Unnumbered: the device's own first byte is the length byte, and one that
  // counts more than the report holds spoils the report.
  const std::string report =
      (first == 0 ? written.substr(1) : written).substr(0, THidSimDevice::ReportLength - 1);
  return THidSimDevice::Payload(std::string(1, '\0') + report);
}

}  // namespace korvan::sim
