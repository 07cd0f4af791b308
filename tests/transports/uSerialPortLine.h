#pragma once
// A COM port transport on a pseudo-terminal whose far end the test holds.
// For its tests: the reports it raises, the far end, and the fixture that joins them.
#include "transports/serial/uCI_SerialPortInterface.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <mutex>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "comm/uCI_Wrapper.h"
#include "comm/uci_ConnectionString.h"
#include "core/uLibraryStart.h"
#include "protocol/uKorvan97.h"
#include "support/TSimProcess.h"
#include "support/TWait.h"

// The kernel's termios2 clashes with <termios.h>; nothing above includes it.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace korvan::test::serial {

using namespace std::chrono_literals;
using korvan::CreateObject;
using korvan::TRef;
using korvan::test::TPortDir;
using korvan::test::TSimProcess;
using korvan::test::WaitUntil;
using namespace korvan::transport;

constexpr auto kBound = 5s;  // generous: what it bounds takes milliseconds
inline const std::string kIngraIdentification = "Ingra;v1.0;simulated";
inline const std::string kOutraIdentification = "Outra;v1.0;simulated";

inline std::string AllByteValues() {
  std::string s;
  for (int i = 0; i < 256; ++i) s += static_cast<char>(i);
  return s;
}

struct TError {
  std::string Operation;
  std::vector<std::string> Args;
  int Code;
  bool operator==(const TError&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const TError& e) {
  os << e.Operation << "(";
  for (const auto& a : e.Args) os << '"' << a << "\" ";
  return os << ") code " << e.Code;
}

// Everything a transport reports. Subscribed without a queue, so each report
// arrives at once, on whichever thread raised it.
class TReports {
 public:
  void Attach(ICommunicationInterface* t) {
    t->GetErrorSlots()->Subscribe(TCINotifyErrorEvent::Bind<&TReports::OnError>(this), nullptr, nullptr);
    t->GetConfigurationSlots()->Subscribe(TCINotifyStringEvent::Bind<&TReports::OnConfiguration>(this), nullptr,
                                          nullptr);
    t->GetOpenedSlots()->Subscribe(TCINotifyEvent::Bind<&TReports::OnOpened>(this), nullptr, nullptr);
    t->GetClosedSlots()->Subscribe(TCINotifyEvent::Bind<&TReports::OnClosed>(this), nullptr, nullptr);
    t->GetDataReadSlots()->Subscribe(TCINotifyStringEvent::Bind<&TReports::OnDataRead>(this), nullptr, nullptr);
  }

  std::vector<TError> Errors() {
    std::lock_guard<std::mutex> lock(mutex_);
    return errors_;
  }
  std::vector<std::string> Configurations() {
    std::lock_guard<std::mutex> lock(mutex_);
    return configurations_;
  }
  int Opened() {
    std::lock_guard<std::mutex> lock(mutex_);
    return opened_;
  }
  int Closed() {
    std::lock_guard<std::mutex> lock(mutex_);
    return closed_;
  }
  std::string Received() {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
  }
  size_t ReceivedCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return receivedCount_;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    errors_.clear();
    configurations_.clear();
    opened_ = closed_ = 0;
    received_.clear();
  }
  // A flood would fill memory; count it only.
  void KeepReceived(bool keep) {
    std::lock_guard<std::mutex> lock(mutex_);
    keepReceived_ = keep;
  }

 private:
  void OnError(ICommunicationInterface*, const std::string& operation, const std::vector<std::string>& args,
               int code) {
    std::lock_guard<std::mutex> lock(mutex_);
    errors_.push_back({operation, args, code});
  }
  void OnConfiguration(ICommunicationInterface*, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    configurations_.push_back(text);
  }
  void OnOpened(ICommunicationInterface*) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++opened_;
  }
  void OnClosed(ICommunicationInterface*) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++closed_;
  }
  void OnDataRead(ICommunicationInterface*, const std::string& data) {
    std::lock_guard<std::mutex> lock(mutex_);
    receivedCount_ += data.size();
    if (keepReceived_) received_ += data;
  }

  std::mutex mutex_;
  std::vector<TError> errors_;
  std::vector<std::string> configurations_;
  int opened_ = 0;
  int closed_ = 0;
  std::string received_;
  size_t receivedCount_ = 0;
  bool keepReceived_ = true;
};

// A COM port transport with its reports. The transport is released first:
// its threads report into them.
class TTestPort {
 public:
  TTestPort() : transport_(CreateObject<TCommunicationSerialPortInterface>()) { Reports.Attach(transport_.get()); }
  ~TTestPort() { transport_ = nullptr; }
  TTestPort(const TTestPort&) = delete;
  TTestPort& operator=(const TTestPort&) = delete;

  TCommunicationSerialPortInterface* operator->() const { return transport_.get(); }
  TCommunicationSerialPortInterface& operator*() const { return *transport_; }

  TReports Reports;

 private:
  TRef<TCommunicationSerialPortInterface> transport_;
};

std::string PortString(int port) { return "provider=SERIAL_PORT;comport=" + std::to_string(port); }

// The far end of a pseudo-terminal whose other end is linked as COMn: it
// receives what the transport sends and sends what the transport receives.
class TPtyPeer {
 public:
  TPtyPeer(const TPortDir& dir, int comPort) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    const char* name = ptsname(master_);
    if (!name) return;
    slave_ = name;
    ok_ = symlink(slave_.c_str(), dir.Link(comPort).c_str()) == 0;
  }
  ~TPtyPeer() { Hangup(); }
  TPtyPeer(const TPtyPeer&) = delete;
  TPtyPeer& operator=(const TPtyPeer&) = delete;

  bool Ok() const { return ok_; }
  const std::string& SlavePath() const { return slave_; }

  // The line's settings as the transport left them.
  termios2 Line() const {
    termios2 t{};
    ioctl(master_, TCGETS2, &t);
    return t;
  }

  // The transport on the other end sees a hang-up.
  void Hangup() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

  // False when the bytes could not all be put on the line in time.
  bool Send(const std::string& bytes) {
    size_t done = 0;
    return WaitUntil(
        [&] {
          const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
          if (n > 0) done += static_cast<size_t>(n);
          return done == bytes.size();
        },
        kBound);
  }

  // One write as far as the line takes it now; for floods.
  void SendSome(const std::string& bytes) {
    if (::write(master_, bytes.data(), bytes.size()) < 0) std::this_thread::sleep_for(1ms);
  }

  // Reads until `done` says the bytes so far are enough, or the bound passes.
  template <class F>
  std::string ReceiveUntil(F&& done) {
    std::string got;
    WaitUntil(
        [&] {
          char buffer[65536];
          // EIO while no one holds the other end.
          for (ssize_t n; (n = ::read(master_, buffer, sizeof buffer)) > 0;) got.append(buffer, static_cast<size_t>(n));
          return done(got);
        },
        kBound);
    return got;
  }
  std::string Receive(size_t count) {
    return ReceiveUntil([count](const std::string& got) { return got.size() >= count; });
  }

 private:
  int master_ = -1;
  std::string slave_;
  bool ok_ = false;
};

// Asks the module behind a line for its identification and waits for one
// whole frame back; empty when none came. `write` sends, `read` takes what
// has arrived.
template <class Write, class Read>
std::string AskIdentification(Write write, Read read, uint8_t sig) {
  write(korvan::BuildPacket(0x31, sig, 0xF3, ""));
  std::string rx, frame;
  WaitUntil([&] {
    std::string chunk;
    read(chunk);
    rx += chunk;
    const size_t start = rx.find("*a");
    if (start == std::string::npos) return false;
    rx.erase(0, start);
    frame = korvan::ExtractPacket(rx, true);
    return !frame.empty();
  });
  if (frame.empty() || korvan::CheckPacket(frame) != 0) return {};
  return korvan::ParsePacket(frame).data;
}

inline std::string Identification(ICommunicationInterface& t, uint8_t sig = 1) {
  return AskIdentification([&](const std::string& bytes) { t.WriteString(bytes); },
                           [&](std::string& chunk) { t.ReadString(chunk); }, sig);
}

inline std::string WriteError(int requested, int free) {
  return "Write data error [requested: " + std::to_string(requested) + ", free: " + std::to_string(free) + "]";
}

// The text of what `f` throws, or empty.
template <class F>
std::string ThrownText(F&& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return {};
}

// A COM port transport configured for COM3, whose far end is the test's.
class SerialPortLine : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(peer.Ok());
    port->SetConfiguration(PortString(3));
  }

  // Runs `OnRead` for each received chunk, at once on the event thread.
  void Call(ICommunicationInterface*, const std::string& data) { OnRead(data); }
  TCINotifyStringEvent ReadHandler() { return TCINotifyStringEvent::Bind<&SerialPortLine::Call>(this); }

  TPortDir dir;
  TPtyPeer peer{dir, 3};
  std::function<void(const std::string&)> OnRead;
  TTestPort port;
};

}  // namespace korvan::test::serial
