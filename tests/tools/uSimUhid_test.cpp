#include "tools/korvan-sim/uSimUhid.h"

#include <gtest/gtest.h>

#include <linux/uhid.h>
#include <cstddef>
#include <cstring>

using namespace korvan::sim;

namespace {
// A report of 65 bytes as the transport writes it to hidraw: byte 0, the
// length byte, the payload padded with zeros.
std::string Written(char first, const std::string& payload) {
  std::string report(65, '\0');
  report[0] = first;
  report[1] = static_cast<char>(payload.size());
  report.replace(2, payload.size(), payload);
  return report;
}
}  // namespace

// What the module receives decides whether a load works on a real hidraw node:
// a wrong byte 0 must cost the payload, as it does on the USB device.
TEST(TSimUhidDevice, TheDeviceGetsThePayloadOnlyWhenByteZeroFitsItsReports) {
  struct {
    const char* name;
    std::string written;
    uint8_t reportId;
    std::string payload;
  } cases[] = {
      {"unnumbered, 0 in front (dropped by USB HID)", Written('\0', "*a"), 0, "*a"},
      {"unnumbered, the ID byte sent anyway: its 64 counts past the report", Written('\x40', "*a"),
       0, ""},
      {"unnumbered, a 1 sent in front: a length byte of 1", Written('\x01', "*a"), 0,
       std::string(1, '\x02')},
      {"numbered 64 and written with 64", Written('\x40', "*a"), 64, "*a"},
      {"numbered 64 but written with 0", Written('\0', "*a"), 64, ""},
      {"numbered 1 but written with 64", Written('\x40', "*a"), 1, ""},
      {"nothing written", "", 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TSimUhidDevice::DevicePayload(c.written, c.reportId), c.payload);
  }
}

TEST(TSimUhidDevice, AnInputEventCarriesTheReportWholeAndNoMore) {
  const std::string report = THidSimDevice::Reports("*a", 0).at(0);
  ASSERT_EQ(report.size(), 64u);  // unnumbered: the data alone
  const std::string event = TSimUhidDevice::InputEvent(report);
  ASSERT_EQ(event.size(), offsetof(uhid_event, u) + offsetof(uhid_input2_req, data) + 64);
  uhid_event ev{};
  std::memcpy(&ev, event.data(), event.size());
  EXPECT_EQ(ev.type, UHID_INPUT2);
  EXPECT_EQ(ev.u.input2.size, 64);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(ev.u.input2.data), 64), report);
}

TEST(TSimUhidDevice, OnlyAnOutputReportEventCarriesAPayload) {
  // No /dev/uhid needed: a device that could not be made is never asked.
  const auto event = [](uint32_t type, uint8_t rtype, const std::string& data) {
    uhid_event ev{};
    ev.type = type;
    ev.u.output.rtype = rtype;
    ev.u.output.size = static_cast<uint16_t>(data.size());
    std::memcpy(ev.u.output.data, data.data(), data.size());
    return std::string(reinterpret_cast<const char*>(&ev), sizeof ev);
  };
  const std::string written = Written('\0', "*a");
  EXPECT_EQ(TSimUhidDevice::Decode(event(UHID_OUTPUT, UHID_OUTPUT_REPORT, written), 0), "*a");
  EXPECT_EQ(TSimUhidDevice::Decode(event(UHID_OUTPUT, UHID_FEATURE_REPORT, written), 0), "");
  EXPECT_EQ(TSimUhidDevice::Decode(event(UHID_START, 0, written), 0), "");
  EXPECT_EQ(
      TSimUhidDevice::Decode(event(UHID_OUTPUT, UHID_OUTPUT_REPORT, written).substr(0, 100), 0),
      "");
}
