#include "transports/uComPortDevice.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "comm/uSynchronizer.h"
#include "platform/uThreadName.h"
#include "transports/uComPortMap.h"
#include "transports/uTtyLine.h"

namespace korvan::transport {

namespace {
constexpr uint64_t kStopBit = 1;
constexpr uint64_t kTxEmptyBit = 2;

std::string PortText(const char* format, int port) {
  char text[64];
  std::snprintf(text, sizeof text, format, port);
  return text;
}

bool IsGoneError(int e) { return IsTtyGoneError(e); }

// Waits until `started` is set or the time-out passes.
bool WaitStarted(std::mutex& m, std::condition_variable& cv, bool& started, int timeoutMs) {
  std::unique_lock<std::mutex> lock(m);
  return cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return started; });
}
}  // namespace

TComPortDevice::TComPortDevice() = default;

TComPortDevice::~TComPortDevice() {
  SetHandler(nullptr);
  Close();
}

void TComPortDevice::SetHandler(THandler handler) {
  std::lock_guard<std::mutex> lock(handlerMutex_);
  handler_ = std::move(handler);
}

void TComPortDevice::Open() {
  if (open_.load()) return;
  const int port = GetPort();
  if (port < 1) throw EComPortError(PortText("Invalid port number (COM%d)", port));
  const std::string path = ComPortDevicePath(port);
  if (path.empty()) throw EComPortError(PortText("Invalid port number (COM%d)", port));

  // No sharing: a port that another program holds is "in use".
  const int fd = OpenTtyExclusive(path);
  if (fd < 0) {
    const int e = errno;
    if (e == ENOENT || IsGoneError(e)) throw EComPortError(PortText("Invalid port number (COM%d)", port));
    throw EComPortError(PortText("Can't open device COM%d", port));
  }
  ioctl(fd, TIOCEXCL);
  {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    if (!ApplyLineSettings(fd, settings_)) {
      const int e = errno;
      ::close(fd);
      // A ttyS node without a UART behind it answers EIO.
      if (IsGoneError(e)) throw EComPortError(PortText("Invalid port number (COM%d)", port));
      throw EComPortError("Error setting parameters from DCB");
    }
  }
  FlushPort(fd, true, true);

  {
    std::lock_guard<std::mutex> lock(inputMutex_);
    fd_ = fd;
    eventFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  }
  gone_.store(false);
  ApplyControlLines();
  {
    const size_t ringSize = static_cast<size_t>(std::max(GetOutBufSize(), 1));  // before txMutex_: lock order
    std::lock_guard<std::mutex> lock(txMutex_);
    ring_.assign(ringSize, '\0');
    ringHead_ = ringCount_ = 0;
    txStop_ = false;
  }
  eventStop_.store(false);

  std::mutex startMutex;
  std::condition_variable startCv;
  bool txStarted = false, eventStarted = false;
  const auto started = [&](bool& flag) {
    std::lock_guard<std::mutex> lock(startMutex);
    flag = true;
    startCv.notify_all();
  };
  try {
    txThread_ = std::thread([this, &started, &txStarted] {
      NameThread("COM transmit");
      started(txStarted);
      TransmitLoop();
    });
    if (!WaitStarted(startMutex, startCv, txStarted, ThreadStartTimeoutMs))
      throw EComPortError("Error creating threads");
    active_.store(true);
    eventThread_ = std::thread([this, &started, &eventStarted] {
      NameThread("COM events");
      started(eventStarted);
      EventLoop();
    });
    if (!WaitStarted(startMutex, startCv, eventStarted, ThreadStartTimeoutMs))
      throw EComPortError("Error creating threads");
  } catch (const std::system_error&) {
    Close();
    throw EComPortError("Error creating threads");
  } catch (...) {
    Close();
    throw;
  }
  open_.store(true);
}

void TComPortDevice::StopThreads() {
  {
    std::lock_guard<std::mutex> lock(txMutex_);
    txStop_ = true;
  }
  txCv_.notify_all();
  eventStop_.store(true);
  Signal(kStopBit);
  for (std::thread* t : {&txThread_, &eventThread_}) {
    if (!t->joinable()) continue;
    if (t->get_id() == std::this_thread::get_id())
      t->detach();
    else
      t->join();
  }
}

void TComPortDevice::Close() {
  active_.store(false);
  open_.store(false);
  StopThreads();
  {
    std::lock_guard<std::mutex> lock(inputMutex_);
    if (fd_ >= 0) {
      FlushPort(fd_, true, true);
      ::close(fd_);
      fd_ = -1;
    }
    if (eventFd_ >= 0) {
      ::close(eventFd_);
      eventFd_ = -1;
    }
  }
  // Not under inputMutex_: PurgeOutput takes the two the other way round.
  std::lock_guard<std::mutex> txLock(txMutex_);
  ring_.clear();
  ring_.shrink_to_fit();
  ringHead_ = ringCount_ = 0;
}

void TComPortDevice::Signal(uint64_t bits) {
  std::lock_guard<std::mutex> lock(inputMutex_);
  if (eventFd_ >= 0) {
    const ssize_t n = ::write(eventFd_, &bits, sizeof bits);
    (void)n;
  }
}

int TComPortDevice::TransmitFree() {
  std::lock_guard<std::mutex> lock(txMutex_);
  return static_cast<int>(ring_.size() - ringCount_);
}

void TComPortDevice::Write(const std::string& bytes) {
  std::unique_lock<std::mutex> lock(txMutex_);
  const size_t free = active_.load() ? ring_.size() - ringCount_ : 0;
  if (!active_.load() || bytes.size() > free) {
    char text[96];
    std::snprintf(text, sizeof text, "Write data error [requested: %d, free: %d]", static_cast<int>(bytes.size()),
                  static_cast<int>(free));
    throw EComPortError(text);
  }
  size_t tail = (ringHead_ + ringCount_) % ring_.size();
  size_t left = bytes.size();
  const char* src = bytes.data();
  while (left > 0) {
    const size_t n = std::min(left, ring_.size() - tail);
    std::memcpy(&ring_[tail], src, n);
    src += n;
    left -= n;
    tail = (tail + n) % ring_.size();
  }
  ringCount_ += bytes.size();
  lock.unlock();
  txCv_.notify_all();
}

void TComPortDevice::TransmitLoop() {
  std::unique_lock<std::mutex> lock(txMutex_);
  for (;;) {
    txCv_.wait(lock, [&] { return txStop_ || ringCount_ > 0; });
    if (txStop_) return;
    // The readable part cannot be overwritten while we send it: writers only
    // fill free space, and a purge waits for writingMutex_.
    const char* p = &ring_[ringHead_];
    const size_t len = std::min(ringCount_, ring_.size() - ringHead_);
    const uint64_t purges = purgeGeneration_;
    lock.unlock();
    ssize_t n = 0;
    int error = 0;
    {
      std::lock_guard<std::mutex> writing(writingMutex_);
      bool purged;
      {
        // A purge between unlocking and here freed that part for new writes.
        std::lock_guard<std::mutex> check(txMutex_);
        purged = purges != purgeGeneration_;
      }
      if (!purged) {
        n = ::write(fd_, p, len);
        if (n < 0) error = errno;
      }
    }
    if (n < 0 && (error == EAGAIN || error == EINTR)) {
      pollfd pfd{fd_, POLLOUT, 0};
      poll(&pfd, 1, 50);
      lock.lock();
      continue;
    }
    lock.lock();
    if (purges != purgeGeneration_) continue;  // what we sent was purged meanwhile
    if (n < 0) {
      // The line cannot take data (device gone): drop what waits.
      ringHead_ = ringCount_ = 0;
    } else {
      ringHead_ = (ringHead_ + static_cast<size_t>(n)) % ring_.size();
      ringCount_ -= std::min(ringCount_, static_cast<size_t>(n));
    }
    if (ringCount_ == 0) {
      lock.unlock();
      Signal(kTxEmptyBit);
      lock.lock();
    }
  }
}

void TComPortDevice::PurgeOutput() {
  // Waits for a write in progress to return, then empties the buffer.
  std::lock_guard<std::mutex> writing(writingMutex_);
  std::lock_guard<std::mutex> lock(txMutex_);
  ringHead_ = ringCount_ = 0;
  ++purgeGeneration_;
  std::lock_guard<std::mutex> input(inputMutex_);
  if (fd_ >= 0) FlushPort(fd_, false, true);
}

int TComPortDevice::InputQueueCount() {
  std::lock_guard<std::mutex> lock(inputMutex_);
  if (fd_ < 0) return 0;
  if (gone_.load()) return -1;
  int count = 0;
  if (ioctl(fd_, FIONREAD, &count) != 0) {
    if (IsGoneError(errno)) gone_.store(true);
    return gone_.load() ? -1 : 0;
  }
  return count;
}

std::string TComPortDevice::ReadAvailable() {
  std::lock_guard<std::mutex> lock(inputMutex_);
  if (fd_ < 0) return {};
  int count = 0;
  if (ioctl(fd_, FIONREAD, &count) != 0 || count <= 0) return {};
  std::string data(static_cast<size_t>(count), '\0');
  const ssize_t n = ::read(fd_, data.data(), data.size());
  if (n < 0) {
    if (IsGoneError(errno)) gone_.store(true);
    return {};
  }
  data.resize(static_cast<size_t>(n));
  return data;
}

uint32_t TComPortDevice::ModemStatus() {
  std::lock_guard<std::mutex> lock(inputMutex_);
  if (fd_ < 0) return 0;
  return TtyModemStatus(fd_);
}

void TComPortDevice::EventLoop() {
  uint32_t lastModem = ModemStatus();
  bool hungUp = false;
  const auto report = [this](int kind, uint32_t data) {
    if (!active_.load()) return;
    THandler handler;
    {
      std::lock_guard<std::mutex> lock(handlerMutex_);
      handler = handler_;
    }
    if (!handler) return;
    try {
      handler(kind, data);
    } catch (...) {
    }
  };
  while (!eventStop_.load()) {
    int fd, efd;
    {
      std::lock_guard<std::mutex> lock(inputMutex_);
      fd = fd_;
      efd = eventFd_;
    }
    pollfd fds[2] = {{efd, POLLIN, 0}, {fd, POLLIN, 0}};
    // After a hang-up the port would report it on every poll.
    const int r = poll(fds, hungUp ? 1 : 2, PollTimeoutMs);
    if (eventStop_.load()) break;
    if (r < 0) {
      if (errno != EINTR) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    if (fds[0].revents & POLLIN) {
      uint64_t bits = 0;
      if (::read(efd, &bits, sizeof bits) == sizeof bits) {
        if (bits & kStopBit) break;
        if (bits & kTxEmptyBit) report(evTxEmpty, 0);
      }
    }
    uint32_t mask = 0;
    if (!hungUp) {
      if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
        hungUp = true;
        gone_.store(true);
      }
      if (fds[1].revents & POLLIN) mask |= EV_RXCHAR;
    }
    const uint32_t modem = ModemStatus();
    const uint32_t changed = modem ^ lastModem;
    lastModem = modem;
    if (changed & MS_CTS_ON) mask |= EV_CTS;
    if (changed & MS_DSR_ON) mask |= EV_DSR;
    if (changed & MS_RING_ON) mask |= EV_RING;
    if (changed & MS_RLSD_ON) mask |= EV_RLSD;
    if (mask) report(evLine, mask);
    if (r == 0) {
      const int count = InputQueueCount();
      if (count > 0) report(evData, static_cast<uint32_t>(count));
    }
    // Data the handler did not take (no handler, or a close under way) would
    // wake the poll at once again.
    if ((mask & EV_RXCHAR) && InputQueueCount() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

TLineSettings TComPortDevice::Settings() { return LockedRead(settingsMutex_, settings_); }

void TComPortDevice::ApplySettings() {
  std::lock_guard<std::mutex> input(inputMutex_);
  if (fd_ < 0) return;
  if (!ApplyLineSettings(fd_, settings_)) throw EComPortError("Error setting parameters from DCB");
}

namespace {
template <class T>
void ChangeSetting(std::mutex& m, TLineSettings& s, T TLineSettings::*field, T value,
                   const std::function<void()>& apply) {
  std::lock_guard<std::mutex> lock(m);
  const T old = s.*field;
  s.*field = value;
  try {
    apply();
  } catch (...) {
    s.*field = old;  // the settings in force stay the device's
    throw;
  }
}
}  // namespace

void TComPortDevice::SetBaudRate(uint32_t rate) {
  ChangeSetting(settingsMutex_, settings_, &TLineSettings::BaudRate, rate, [this] { ApplySettings(); });
}
void TComPortDevice::SetDataBits(int bits) {
  ChangeSetting(settingsMutex_, settings_, &TLineSettings::DataBits, bits, [this] { ApplySettings(); });
}
void TComPortDevice::SetParity(int parity) {
  ChangeSetting(settingsMutex_, settings_, &TLineSettings::Parity, parity, [this] { ApplySettings(); });
}
void TComPortDevice::SetStopBits(int stopBits) {
  ChangeSetting(settingsMutex_, settings_, &TLineSettings::StopBits, stopBits, [this] { ApplySettings(); });
}

void TComPortDevice::ApplyControlLines() {
  bool dtr, rts;
  {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    dtr = dtr_;
    rts = rts_;
  }
  std::lock_guard<std::mutex> input(inputMutex_);
  if (fd_ < 0) return;
  TtySetControlLines(fd_, dtr, rts);
}

bool TComPortDevice::GetDTR() { return LockedRead(settingsMutex_, dtr_); }
void TComPortDevice::SetDTR(bool on) {
  {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    dtr_ = on;
  }
  ApplyControlLines();
}
bool TComPortDevice::GetRTS() { return LockedRead(settingsMutex_, rts_); }
void TComPortDevice::SetRTS(bool on) {
  {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    rts_ = on;
  }
  ApplyControlLines();
}

int TComPortDevice::GetPort() { return LockedRead(settingsMutex_, port_); }

void TComPortDevice::SetPort(int port) {
  const bool wasOpen = IsOpen();
  if (wasOpen) Close();
  {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    port_ = port;
  }
  if (wasOpen) Open();
}

int TComPortDevice::GetInBufSize() { return LockedRead(settingsMutex_, inBufSize_); }
void TComPortDevice::SetInBufSize(int size) {
  if (IsOpen()) throw EComPortError("Port is not closed");
  std::lock_guard<std::mutex> lock(settingsMutex_);
  inBufSize_ = size;
}
int TComPortDevice::GetOutBufSize() { return LockedRead(settingsMutex_, outBufSize_); }
void TComPortDevice::SetOutBufSize(int size) {
  if (IsOpen()) throw EComPortError("Port is not closed");
  std::lock_guard<std::mutex> lock(settingsMutex_);
  outBufSize_ = size;
}

}  // namespace korvan::transport
