#include "transports/hid/uCI_HIDInterface.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "core/uKorvanStackDeviceIngraRec.h"
#include "core/uLibraryStart.h"
#include "support/TSimProcess.h"
#include "support/TWait.h"
#include "tools/korvan-sim/uSimHidDevice.h"
#include "transports/hid/uHidDeviceManager.h"
#include "transports/hid/uHidReportDescriptor.h"
#include "uTransportLog.h"

using namespace korvan;
using namespace korvan::transport;
using korvan::sim::THidIdentity;
using korvan::sim::THidSimDevice;
using korvan::test::TDeviceTree;
using korvan::test::TSimProcess;
using korvan::test::WaitUntil;

namespace {

// A fake device the test drives report by report: the simulator's tree entry
// and node, with the test on the other end of each connection.
class TRawPeer {
 public:
  TRawPeer(const std::string& dir, const std::string& serial) : device_(dir, THidIdentity{1240, 63, serial}) {}
  ~TRawPeer() { Hang(); }

  bool Accept() {
    return WaitUntil([&] { return (fd_ = accept4(device_.ListenFd(), nullptr, nullptr, SOCK_CLOEXEC)) >= 0; });
  }
  bool Pending() {
    pollfd p{device_.ListenFd(), POLLIN, 0};
    return poll(&p, 1, 0) > 0;
  }
  // The next count messages the transport wrote.
  std::vector<std::string> Receive(size_t count) {
    std::vector<std::string> reports;
    while (reports.size() < count) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 5000) <= 0) break;
      char buffer[512];
      const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      reports.emplace_back(buffer, static_cast<size_t>(n));
    }
    return reports;
  }
  void Send(uint8_t length, const std::string& bytes) {
    std::string report(THidSimDevice::ReportLength, '\0');
    report[0] = static_cast<char>(THidSimDevice::ReportId);
    report[1] = static_cast<char>(length);
    report.replace(2, bytes.size(), bytes);
    ASSERT_EQ(send(fd_, report.data(), report.size(), MSG_NOSIGNAL), static_cast<ssize_t>(report.size()));
  }
  void Hang() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  THidSimDevice device_;
  int fd_ = -1;
};

// A private device tree that the transport enumerates, with two devices of
// one vendor and product, serial numbers A (hidraw0) and B (hidraw1).
class HidTransport : public ::testing::Test {
 protected:
  void TearDown() override {
    hid_ = nullptr;
    a_.reset();
    b_.reset();
  }
  // Opens a transport with the given keys and takes its connection at `peer`.
  bool OpenAt(TRawPeer& peer, const std::string& keys = "") {
    hid_->SetConfiguration("provider=HID;vid=1240;pid=63" + keys);
    return hid_->Open() && peer.Accept();
  }

  TDeviceTree dir_;
  std::unique_ptr<TRawPeer> a_ = std::make_unique<TRawPeer>(dir_.Path(), "A");
  std::unique_ptr<TRawPeer> b_ = std::make_unique<TRawPeer>(dir_.Path(), "B");
  const std::string bHid_ = dir_.Path() + "/sys/class/hidraw/hidraw1/device";  // two levels up: its USB device
  TRef<TCommunicationHIDInterface> hid_ = CreateObject<TCommunicationHIDInterface>();
};

}  // namespace

TEST_F(HidTransport, OpensTheDeviceEnumeratedLastOrTheOneWithTheSerialNumber) {
  struct {
    std::string serial;
    TRawPeer* expected;
  } cases[] = {{"", b_.get()}, {"A", a_.get()}, {"B", b_.get()}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.serial);
    ASSERT_TRUE(OpenAt(*c.expected, c.serial.empty() ? "" : ";serial_number=" + c.serial));
    EXPECT_FALSE((c.expected == a_.get() ? b_ : a_)->Pending());
    EXPECT_EQ(hid_->GetConfiguration(), "provider=HID;vid=1240;pid=63;serial_number=" + c.serial);
    EXPECT_EQ(hid_->GetManufacturerString(), "Korvan");
    EXPECT_EQ(hid_->GetProductString(), "korvan-sim");
    ASSERT_TRUE(hid_->Close(false));
    c.expected->Hang();
  }
  hid_->SetConfiguration("provider=HID;vid=1240;pid=63;serial_number=a");
  EXPECT_FALSE(hid_->Open());
  hid_->SetConfiguration("provider=HID;vid=1240;pid=64;serial_number=");
  EXPECT_FALSE(hid_->Open());
}

TEST_F(HidTransport, SplitsWritesIntoReportsThatStartWithTheirLength) {
  ASSERT_TRUE(OpenAt(*b_));
  struct {
    size_t size;
    std::vector<size_t> lengths;
  } cases[] = {{63, {63}}, {64, {63, 1}}, {0, {0}}, {130, {63, 63, 4}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    std::string data;
    for (size_t i = 0; i < c.size; ++i) data += static_cast<char>(i + 1);
    EXPECT_EQ(hid_->WriteString(data), static_cast<int>(c.size));
    const std::vector<std::string> reports = b_->Receive(c.lengths.size());
    ASSERT_EQ(reports.size(), c.lengths.size());
    std::string joined;
    for (size_t i = 0; i < reports.size(); ++i) {
      ASSERT_EQ(reports[i].size(), 65u);
      EXPECT_EQ(static_cast<uint8_t>(reports[i][0]), 64);
      EXPECT_EQ(static_cast<uint8_t>(reports[i][1]), c.lengths[i]);
      joined += reports[i].substr(2, c.lengths[i]);
      EXPECT_EQ(reports[i].find_first_not_of('\0', 2 + c.lengths[i]), std::string::npos);
    }
    EXPECT_EQ(joined, data);
  }
}

TEST_F(HidTransport, FillsByteZeroAndTheLengthByteAsTheDescriptorAllows) {
  // Without report IDs byte 0 is 0, which the kernel strips.
  struct {
    std::string name, descriptor;
    size_t size;
    std::vector<size_t> lengths;
  } cases[] = {
      {"no report IDs", "\x75\x08\x95\x08\x91\x02", 8, {7, 1}},
      {"longer than a length byte counts", "\x75\x08\x96\x2c\x01\x91\x02", 300, {255, 45}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::ofstream(bHid_ + "/report_descriptor", std::ios::trunc) << c.descriptor;
    ASSERT_TRUE(OpenAt(*b_));
    EXPECT_EQ(hid_->WriteString(std::string(c.size, 'x')), static_cast<int>(c.size));
    const std::vector<std::string> reports = b_->Receive(c.lengths.size());
    ASSERT_EQ(reports.size(), c.lengths.size());
    for (size_t i = 0; i < reports.size(); ++i) {
      EXPECT_EQ(reports[i][0], '\0');
      EXPECT_EQ(static_cast<uint8_t>(reports[i][1]), c.lengths[i]);
    }
    ASSERT_TRUE(hid_->Close(false));
    b_->Hang();
  }
}

TEST_F(HidTransport, TakesItsStringsFromItsOwnUsbDeviceNeverFromAHubAbove) {
  // The device has no strings of its own; the host controller above it has.
  for (const auto& [name, text] : {std::pair{"manufacturer", "Linux xhci-hcd"}, {"product", "xHCI Host Controller"}}) {
    std::filesystem::remove(bHid_ + "/../../" + name);
    std::ofstream(bHid_ + "/../../../" + name) << text << "\n";
  }
  ASSERT_TRUE(OpenAt(*b_));
  EXPECT_EQ(hid_->GetManufacturerString(), "");
  EXPECT_EQ(hid_->GetProductString(), "Korvan korvan-sim");  // the HID device's name
}

TEST_F(HidTransport, AWriteThatWaitsForTheDeviceDoesNotHoldUpReception) {
  TRef<korvan::test::TTransportLog> log = CreateObject<korvan::test::TTransportLog>();
  log->Listen(*hid_);
  ASSERT_TRUE(OpenAt(*b_));
  // The device takes no more: the write waits until its time-out, as hidraw can.
  std::atomic<bool> written{false};
  std::thread writer([&] { written.store(hid_->WriteString(std::string(63 * 4000, 'w')) > 0); });
  ASSERT_EQ(b_->Receive(1).size(), 1u);
  b_->Send(2, "up");
  EXPECT_TRUE(WaitUntil([&] { return !log->Reads().empty(); }));
  EXPECT_FALSE(written.load());
  writer.join();
}

TEST_F(HidTransport, TakesOnlyTheCountedBytesAndStopsReadingAtAnEmptyReport) {
  TRef<THidDevice> holder = CreateObject<THidDevice>();
  THidDeviceManager::Manager().Refresh();
  ASSERT_TRUE(holder->Attach(THidDeviceManager::Manager().Find(1240, 63, "A")->Attached()));
  ASSERT_TRUE(a_->Accept());
  a_->Send(5, "hello, and what follows");
  a_->Send(0, "dropped");
  a_->Send(2, "ok");
  a_->Send(65, "dropped too: a length not below the bytes read");
  a_->Send(3, "end");
  // Each read-all ends at the bad report after its piece.
  for (const char* piece : {"hello", "ok", "end", ""}) EXPECT_EQ(holder->ReadAll(), piece);
}

TEST_F(HidTransport, DeliversReportsAsTheyArriveAndGoesInactiveWhenTheDeviceHangsUp) {
  ASSERT_TRUE(OpenAt(*b_));
  b_->Send(3, "abc");
  b_->Send(2, "de");
  ASSERT_TRUE(WaitUntil([&] { return hid_->InputCount() == 5; }));
  std::string got;
  hid_->ReadString(got);
  EXPECT_EQ(got, "abcde");
  EXPECT_TRUE(hid_->GetActive());
  b_->Hang();
  EXPECT_TRUE(WaitUntil([&] { return !hid_->GetActive(); }));
}

TEST_F(HidTransport, WritesNothingWhileClosedButReportsTheFullLength) {
  EXPECT_EQ(hid_->WriteString("abc"), 3);
  EXPECT_FALSE(a_->Pending());
  EXPECT_FALSE(b_->Pending());
}

TEST_F(HidTransport, ARefreshLeavesAnOpenTransportWorking) {
  ASSERT_TRUE(OpenAt(*a_, ";serial_number=A"));
  TRef<TCommunicationHIDInterface> other = CreateObject<TCommunicationHIDInterface>();
  other->SetConfiguration("provider=HID;vid=1240;pid=63;serial_number=A");
  ASSERT_TRUE(other->Open());
  other = nullptr;
  THidDeviceManager::Manager().Refresh();
  EXPECT_TRUE(hid_->GetActive());
  EXPECT_EQ(hid_->WriteString("still"), 5);
  const std::vector<std::string> reports = a_->Receive(1);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(THidSimDevice::Payload(reports[0]), "still");
  a_->Send(2, "up");
  EXPECT_TRUE(WaitUntil([&] { return hid_->InputCount() == 2; }));
}

TEST(HidReportDescriptor, GivesTheLongestReportOfEachDirectionWithItsIdByte) {
  const std::string sim = THidSimDevice::ReportDescriptor();
  struct {
    std::string name, bytes;
    bool valid, ids;
    int input, output;
  } cases[] = {
      {"the simulator's", sim, true, true, 65, 65},
      {"the simulator's unnumbered", THidSimDevice::ReportDescriptor(0), true, false, 65, 65},
      {"no report IDs, 8 bytes in", "\x75\x08\x95\x08\x81\x02", true, false, 9, 0},
      {"two IDs, the longer counts", "\x85\x01\x75\x08\x95\x04\x81\x02\x85\x02\x95\x10\x81\x02\x91\x02", true,
       true, 17, 17},
      {"bits round up to bytes", std::string("\x75\x01\x95\x03\x81\x02\x75\x05\x95\x01\x81\x01\x81\x01", 14),
       true, false, 3, 0},
      {"pop restores the size", "\x75\x08\xa4\x75\x10\xb4\x95\x02\x91\x02", true, false, 0, 3},
      {"a long item is skipped", std::string("\xfe\x02\x10\xaa\xbb\x75\x08\x95\x01\x81\x02", 11), true, false, 2,
       0},
      {"truncated item", "\x75\x08\x96\x01", false, false, 0, 0},
      {"report ID 0", std::string("\x85\x00", 2), false, false, 0, 0},
      {"pop without push", "\xb4", false, false, 0, 0},
      {"report far too long", "\x75\xff\x96\xff\x2f\x81\x02\x81\x02\x81\x02\x81\x02\x81\x02", false, false, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const THidReportLengths r = ParseHidReportDescriptor(c.bytes);
    EXPECT_EQ(r.Valid, c.valid);
    EXPECT_EQ(r.UsesReportIds, c.ids);
    EXPECT_EQ(r.InputReportLength, c.input);
    EXPECT_EQ(r.OutputReportLength, c.output);
  }
}

TEST(HidThroughTheWrapper, ReachesTheChosenSimulatorAndGoesInactiveWhenItEnds) {
  duomat::StartLibrary();
  TDeviceTree dir;
  TSimProcess first({"--module", "ingra", "--codes", "2,2,2,2", "--hid", dir.Path(), "--serial", "S1"});
  ASSERT_TRUE(first.Started());
  auto last = std::make_unique<TSimProcess>(
      std::vector<std::string>{"--module", "ingra", "--hid", dir.Path(), "--serial", "S2"});
  ASSERT_TRUE(last->Started());
  for (const auto& [serial, code] : {std::pair{"", 1}, {"S1", 2}, {"S2", 1}}) {
    SCOPED_TRACE(serial);
    const std::string keys = *serial ? std::string(";serial_number=") + serial : "";
    duomat::TKorvanStackDeviceIngraRec rec;
    rec.SetConnectionString("provider=HID;vid=1240;pid=63" + keys);
    ASSERT_TRUE(rec.Connect());
    korvan::TIngraRanges ranges{};
    ASSERT_TRUE(rec.Device()->GetRanges(ranges));
    EXPECT_EQ(ranges[0], code);
    EXPECT_EQ(rec.CommInterface()->GetConfiguration(), "provider=HID;vid=1240;pid=63;serial_number=" + std::string(serial));
  }
  duomat::TKorvanStackDeviceIngraRec rec;
  rec.SetConnectionString("provider=HID;vid=1240;pid=63");
  ASSERT_TRUE(rec.Connect());
  last.reset();
  EXPECT_TRUE(WaitUntil([&] { return !rec.CommInterface()->GetActive(); }));
  // It took only its own entries away.
  namespace fs = std::filesystem;
  EXPECT_FALSE(fs::exists(dir.Path() + "/dev/hidraw1") || fs::exists(dir.Path() + "/sys/class/hidraw/hidraw1"));
  EXPECT_TRUE(fs::exists(dir.Path() + "/dev/hidraw0") && fs::exists(dir.Path() + "/sys/class/hidraw/hidraw0"));
}
