#include "transports/serial/uComPortDevice.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <utility>

#include "comm/uSynchronizer.h"
#include "platform/uEvent.h"
#include "platform/uThreadName.h"
#include "transports/serial/uComPortMap.h"
#include "transports/serial/uTtyLine.h"

namespace korvan::transport {

// The handler and the calls of it in progress, shared by the device and
// every event thread it started.
struct TComPortDevice::THandlerGate {
  std::mutex mutex;
  std::condition_variable cv;
  THandler handler;
  int running = 0;
};

namespace {
// The gate whose handler the calling thread is running, if any.
thread_local const TComPortDevice::THandlerGate* tRunningGate = nullptr;

std::string PortText(const char* format, int port) {
  char text[64];
  std::snprintf(text, sizeof text, format, port);
  return text;
}

bool IsGoneError(int e) { return IsTtyGoneError(e); }

// The kernel's modem-line counters, where the line has them (a pseudo-terminal
// has none): a pulse shorter than a look's period still counts.
bool ReadLineCounters(int fd, serial_icounter_struct& counters) {
  counters = serial_icounter_struct{};
  return fd >= 0 && ioctl(fd, TIOCGICOUNT, &counters) == 0;
}

}  // namespace

// One open of the port: the descriptor, the event thread's wake-up, the
// transmit ring and both threads. The threads hold it too, so it outlives a
// device destroyed from its own event thread.
struct TComPortDevice::TSession {
  ~TSession() {
    if (fd >= 0) ::close(fd);
    if (eventFd >= 0) ::close(eventFd);
  }

  void Wake() {
    const uint64_t one = 1;
    const ssize_t n = ::write(eventFd, &one, sizeof one);
    (void)n;
  }
  void Stop() {
    stop.store(true);
    {
      std::lock_guard<std::mutex> lock(txMutex);
      txStop = true;
    }
    txCv.notify_all();
    Wake();
  }
  int QueueCount() {
    std::lock_guard<std::mutex> lock(inputMutex);
    if (fd < 0) return 0;
    if (gone.load()) return -1;
    int count = 0;
    if (ioctl(fd, FIONREAD, &count) != 0) {
      if (IsGoneError(errno)) gone.store(true);
      return gone.load() ? -1 : 0;
    }
    return count;
  }
  uint32_t Modem() {
    std::lock_guard<std::mutex> lock(inputMutex);
    if (fd < 0) return 0;
    return TtyModemStatus(fd);
  }
  // Calls the handler unless a close has begun; false once it has.
  bool Report(THandlerGate& gate, int kind, uint32_t data);
  void TransmitLoop();
  void EventLoop(THandlerGate& gate);

  std::mutex inputMutex;  // the descriptor's use against its closing
  int fd = -1;
  int eventFd = -1;  // only wakes the event thread; what happened is in the flags
  std::atomic<bool> stop{false};
  std::atomic<bool> txEmpty{false};
  std::atomic<bool> gone{false};

  // Whether the event thread is inside a handler or has ended, for Close.
  std::mutex eventMutex;
  std::condition_variable eventCv;
  bool inHandler = false;
  bool exited = false;

  std::mutex txMutex;
  std::mutex writingMutex;  // held only around one write() call
  std::condition_variable txCv;
  std::unique_ptr<char[]> ring;  // not zero-filled: only written bytes are read
  size_t ringSize = 0;
  size_t ringHead = 0;
  size_t ringCount = 0;
  uint64_t purgeGeneration = 0;
  bool txStop = false;

  std::thread txThread;
  std::thread eventThread;
};

bool TComPortDevice::TSession::Report(THandlerGate& gate, int kind, uint32_t data) {
  {
    std::lock_guard<std::mutex> lock(eventMutex);
    if (stop.load()) return false;
    inHandler = true;
  }
  THandler handler;
  {
    std::lock_guard<std::mutex> lock(gate.mutex);
    handler = gate.handler;
    if (handler) ++gate.running;
  }
  if (handler) {
    tRunningGate = &gate;
    try {
      handler(kind, data);
    } catch (...) {
    }
    tRunningGate = nullptr;
    std::lock_guard<std::mutex> lock(gate.mutex);
    --gate.running;
    gate.cv.notify_all();
  }
  std::lock_guard<std::mutex> lock(eventMutex);
  inHandler = false;
  eventCv.notify_all();
  return !stop.load();
}

void TComPortDevice::TSession::TransmitLoop() {
  std::unique_lock<std::mutex> lock(txMutex);
  for (;;) {
    txCv.wait(lock, [&] { return txStop || ringCount > 0; });
    if (txStop) return;
    // The readable part cannot be overwritten while we send it: writers only
    // fill free space, and a purge waits for writingMutex.
    const char* p = ring.get() + ringHead;
    const size_t len = std::min(ringCount, ringSize - ringHead);
    const uint64_t purges = purgeGeneration;
    lock.unlock();
    ssize_t n = 0;
    int error = 0;
    {
      std::lock_guard<std::mutex> writing(writingMutex);
      bool purged;
      {
        // A purge between unlocking and here freed that part for new writes.
        std::lock_guard<std::mutex> check(txMutex);
        purged = purges != purgeGeneration;
      }
      if (!purged) {
        n = ::write(fd, p, len);
        if (n < 0) error = errno;
      }
    }
    if (n < 0 && (error == EAGAIN || error == EINTR)) {
      pollfd pfd{fd, POLLOUT, 0};
      poll(&pfd, 1, 50);
      lock.lock();
      continue;
    }
    lock.lock();
    if (purges != purgeGeneration) continue;  // what we sent was purged meanwhile
    if (n < 0) {
      // The line cannot take data (device gone): drop what waits.
      ringHead = ringCount = 0;
    } else {
      ringHead = (ringHead + static_cast<size_t>(n)) % ringSize;
      ringCount -= std::min(ringCount, static_cast<size_t>(n));
    }
    if (ringCount == 0) {
      txEmpty.store(true);
      Wake();
    }
  }
}

void TComPortDevice::TSession::EventLoop(THandlerGate& gate) {
  uint32_t lastModem = Modem();
  serial_icounter_struct lastCounts{};
  bool counted;
  {
    std::lock_guard<std::mutex> lock(inputMutex);
    counted = ReadLineCounters(fd, lastCounts);
  }
  while (!stop.load()) {
    int line;
    {
      std::lock_guard<std::mutex> lock(inputMutex);
      line = fd;
    }
    // A line that has gone would report its hang-up on every poll. Data and
    // wake-ups are events; only modem lines have none, so only a line with
    // counters is looked at periodically.
    const bool watchLine = line >= 0 && !gone.load();
    const TTtyWait w = WaitTtyOrWake(eventFd, line, watchLine, watchLine && counted ? PollTimeoutMs : -1);
    if (stop.load()) break;
    if (!w.ok) continue;
    if (txEmpty.exchange(false) && !Report(gate, evTxEmpty, 0)) break;
    if (!watchLine) continue;
    uint32_t mask = 0;
    // Reported once, so that a transaction waiting on the line ends now.
    const bool lost = (w.line & (POLLHUP | POLLERR | POLLNVAL)) && !gone.exchange(true);
    if (w.line & POLLIN) mask |= EV_RXCHAR;
    const uint32_t modem = Modem();
    const uint32_t changed = modem ^ lastModem;
    lastModem = modem;
    if (changed & MS_CTS_ON) mask |= EV_CTS;
    if (changed & MS_DSR_ON) mask |= EV_DSR;
    if (changed & MS_RING_ON) mask |= EV_RING;
    if (changed & MS_RLSD_ON) mask |= EV_RLSD;
    serial_icounter_struct counts{};
    bool nowCounted;
    {
      std::lock_guard<std::mutex> lock(inputMutex);
      nowCounted = counted && ReadLineCounters(fd, counts);
    }
    if (nowCounted) {
      if (counts.cts != lastCounts.cts) mask |= EV_CTS;
      if (counts.dsr != lastCounts.dsr) mask |= EV_DSR;
      if (counts.rng != lastCounts.rng) mask |= EV_RING;
      if (counts.dcd != lastCounts.dcd) mask |= EV_RLSD;
      lastCounts = counts;
    }
    if ((mask || lost) && !Report(gate, evLine, mask)) break;
    if (w.timedOut) {
      const int count = QueueCount();
      if (count > 0 && !Report(gate, evData, static_cast<uint32_t>(count))) break;
    }
    // Data the handler did not take (no handler, or a close under way) would
    // wake the poll at once again.
    if ((mask & EV_RXCHAR) && QueueCount() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::lock_guard<std::mutex> lock(eventMutex);
  exited = true;
  eventCv.notify_all();
}

// ---- TComPortDevice -----------------------------------------------------------

TComPortDevice::TComPortDevice() : gate_(std::make_shared<THandlerGate>()) {}

TComPortDevice::~TComPortDevice() {
  SetHandler(nullptr);
  Close();
}

void TComPortDevice::SetHandler(THandler handler) {
  std::unique_lock<std::mutex> lock(gate_->mutex);
  // A call in progress on this very thread cannot be waited for.
  const int own = tRunningGate == gate_.get() ? 1 : 0;
  gate_->cv.wait(lock, [&] { return gate_->running <= own; });
  gate_->handler = std::move(handler);
}

std::shared_ptr<TComPortDevice::TSession> TComPortDevice::Session() { return LockedRead(sessionMutex_, session_); }

bool TComPortDevice::IsOpen() {
  const std::shared_ptr<TSession> s = Session();
  return s && !s->stop.load() && !s->gone.load();
}

bool TComPortDevice::Vanished() {
  const std::shared_ptr<TSession> s = Session();
  return s && s->gone.load();
}

void TComPortDevice::Open() {
  std::lock_guard<std::recursive_mutex> state(stateMutex_);
  if (IsOpen()) return;
  Close();  // a line that vanished still holds its descriptor
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
  {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    if (!ApplyLineSettings(fd, settings_) || !TtySetControlLines(fd, dtr_, rts_)) {
      const int e = errno;
      ::close(fd);
      // A ttyS node without a UART behind it answers EIO.
      if (IsGoneError(e)) throw EComPortError(PortText("Invalid port number (COM%d)", port));
      throw EComPortError("Error setting parameters from DCB");
    }
  }
  FlushPort(fd, true, true);

  auto s = std::make_shared<TSession>();
  s->fd = fd;
  s->eventFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  try {
    if (s->eventFd < 0) throw EComPortError("Error creating threads");
    try {
      s->ringSize = static_cast<size_t>(std::max(GetOutBufSize(), 1));
      s->ring.reset(new char[s->ringSize]);
    } catch (const std::bad_alloc&) {
      throw EComPortError("Error initializing buffers");
    }
    LockedWrite(sessionMutex_, session_, s);
    try {
      auto started = std::make_shared<TEvent>(true, false);
      s->txThread = std::thread([s, started] {
        NameThread("COM transmit");
        started->SetEvent();
        s->TransmitLoop();
      });
      if (!started->WaitFor(ThreadStartTimeoutMs)) throw EComPortError("Error creating threads");
      started->ResetEvent();
      s->eventThread = std::thread([s, gate = gate_, started] {
        NameThread("COM events");
        started->SetEvent();
        s->EventLoop(*gate);
      });
      if (!started->WaitFor(ThreadStartTimeoutMs)) throw EComPortError("Error creating threads");
    } catch (const std::system_error&) {
      throw EComPortError("Error creating threads");
    }
  } catch (...) {
    Close();
    throw;
  }
}

void TComPortDevice::Close() {
  std::lock_guard<std::recursive_mutex> state(stateMutex_);
  std::shared_ptr<TSession> s;
  {
    std::lock_guard<std::mutex> lock(sessionMutex_);
    s = std::move(session_);
  }
  if (!s) return;
  s->Stop();
  if (s->txThread.joinable()) s->txThread.join();
  if (s->eventThread.joinable()) {
    // A handler in progress may wait for a lock that our caller holds (a
    // getter during a close): leave it to finish on its own; the thread owns
    // the session and ends right after it.
    bool ended = false;
    if (s->eventThread.get_id() != std::this_thread::get_id()) {
      std::unique_lock<std::mutex> lock(s->eventMutex);
      s->eventCv.wait(lock, [&] { return s->exited || s->inHandler; });
      ended = s->exited;
    }
    if (ended)
      s->eventThread.join();
    else
      s->eventThread.detach();
  }
  std::lock_guard<std::mutex> lock(s->inputMutex);
  if (s->fd >= 0) {
    FlushPort(s->fd, true, true);
    ::close(std::exchange(s->fd, -1));  // releases the lock on the port
  }
}

int TComPortDevice::TransmitFree() {
  const std::shared_ptr<TSession> s = Session();
  if (!s) return 0;
  std::lock_guard<std::mutex> lock(s->txMutex);
  return static_cast<int>(s->ringSize - s->ringCount);
}

void TComPortDevice::Write(const std::string& bytes) {
  const auto refuse = [&](size_t free) {
    char text[96];
    std::snprintf(text, sizeof text, "Write data error [requested: %d, free: %d]", static_cast<int>(bytes.size()),
                  static_cast<int>(free));
    throw EComPortError(text);
  };
  const std::shared_ptr<TSession> s = Session();
  if (!s || s->stop.load()) refuse(0);
  std::unique_lock<std::mutex> lock(s->txMutex);
  const size_t free = s->ringSize - s->ringCount;
  if (bytes.size() > free) refuse(free);
  size_t tail = (s->ringHead + s->ringCount) % s->ringSize;
  size_t left = bytes.size();
  const char* src = bytes.data();
  while (left > 0) {
    const size_t n = std::min(left, s->ringSize - tail);
    std::memcpy(s->ring.get() + tail, src, n);
    src += n;
    left -= n;
    tail = (tail + n) % s->ringSize;
  }
  s->ringCount += bytes.size();
  lock.unlock();
  s->txCv.notify_all();
}

void TComPortDevice::PurgeOutput() {
  const std::shared_ptr<TSession> s = Session();
  if (!s) return;
  // Waits for a write in progress to return, then empties the buffer.
  std::lock_guard<std::mutex> writing(s->writingMutex);
  std::lock_guard<std::mutex> lock(s->txMutex);
  s->ringHead = s->ringCount = 0;
  ++s->purgeGeneration;
  std::lock_guard<std::mutex> input(s->inputMutex);
  if (s->fd >= 0) FlushPort(s->fd, false, true);
}

int TComPortDevice::InputQueueCount() {
  const std::shared_ptr<TSession> s = Session();
  return s ? s->QueueCount() : 0;
}

std::string TComPortDevice::ReadAvailable() {
  const std::shared_ptr<TSession> s = Session();
  if (!s) return {};
  std::lock_guard<std::mutex> lock(s->inputMutex);
  if (s->fd < 0) return {};
  int count = 0;
  if (ioctl(s->fd, FIONREAD, &count) != 0 || count <= 0) return {};
  std::string data(static_cast<size_t>(count), '\0');
  const ssize_t n = ::read(s->fd, data.data(), data.size());
  if (n < 0) {
    if (IsGoneError(errno)) s->gone.store(true);
    return {};
  }
  data.resize(static_cast<size_t>(n));
  return data;
}

uint32_t TComPortDevice::ModemStatus() {
  const std::shared_ptr<TSession> s = Session();
  return s ? s->Modem() : 0;
}

TLineSettings TComPortDevice::Settings() { return LockedRead(settingsMutex_, settings_); }

void TComPortDevice::ApplySettings() {
  const std::shared_ptr<TSession> s = Session();
  if (!s) return;
  std::lock_guard<std::mutex> input(s->inputMutex);
  if (s->fd < 0) return;
  if (!ApplyLineSettings(s->fd, settings_)) throw EComPortError("Error setting parameters from DCB");
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

void TComPortDevice::ChangeControlLine(bool TComPortDevice::*line, bool on) {
  std::lock_guard<std::mutex> lock(settingsMutex_);
  const bool old = this->*line;
  this->*line = on;
  const std::shared_ptr<TSession> s = Session();
  if (!s) return;
  std::lock_guard<std::mutex> input(s->inputMutex);
  if (s->fd >= 0 && !TtySetControlLines(s->fd, dtr_, rts_)) {
    this->*line = old;
    throw EComPortError("Error setting control lines");
  }
}

bool TComPortDevice::GetDTR() { return LockedRead(settingsMutex_, dtr_); }
void TComPortDevice::SetDTR(bool on) { ChangeControlLine(&TComPortDevice::dtr_, on); }
bool TComPortDevice::GetRTS() { return LockedRead(settingsMutex_, rts_); }
void TComPortDevice::SetRTS(bool on) { ChangeControlLine(&TComPortDevice::rts_, on); }

int TComPortDevice::GetPort() { return LockedRead(settingsMutex_, port_); }

void TComPortDevice::SetPort(int port) {
  std::lock_guard<std::recursive_mutex> state(stateMutex_);
  if (GetPort() == port) return;  // a reopen would lose what is queued
  const bool wasOpen = IsOpen();
  if (wasOpen) Close();
  LockedWrite(settingsMutex_, port_, port);
  if (wasOpen) Open();
}

int TComPortDevice::GetInBufSize() { return LockedRead(settingsMutex_, inBufSize_); }
void TComPortDevice::SetInBufSize(int size) {
  if (IsOpen()) throw EComPortError("Port is not closed");
  LockedWrite(settingsMutex_, inBufSize_, size);
}
int TComPortDevice::GetOutBufSize() { return LockedRead(settingsMutex_, outBufSize_); }
void TComPortDevice::SetOutBufSize(int size) {
  if (IsOpen()) throw EComPortError("Port is not closed");
  LockedWrite(settingsMutex_, outBufSize_, size);
}

}  // namespace korvan::transport
