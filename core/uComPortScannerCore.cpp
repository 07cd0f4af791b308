#include "core/uComPortScannerCore.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/uThreadName.h"
#include "transports/serial/uComPortMap.h"
#include "transports/serial/uTtyLine.h"

namespace duomat {

using korvan::transport::ComPortDevicePath;
using korvan::transport::ComPortWithoutUart;
using korvan::transport::IsTtyGoneError;
using korvan::transport::OpenTtyExclusive;

TComPortProbe ProbeComPort(int n) {
  TComPortProbe r;
  r.Path = ComPortDevicePath(n);
  if (r.Path.empty()) {
    r.Error = ENOENT;
    return r;
  }
  // Only a character device is a port: a FIFO, a file or a folder planted
  // under a port's name is not, and is never opened.
  struct stat st{};
  if (::stat(r.Path.c_str(), &st) == 0 && !S_ISCHR(st.st_mode)) {
    r.Error = ENODEV;
    return r;
  }
  // Opened as the serial port opens it: a probe never waits for a carrier,
  // and a line another program holds is "in use".
  const int fd = OpenTtyExclusive(r.Path);
  if (fd < 0) {
    r.Error = errno;
    const bool notFound = r.Error == ENOENT || r.Error == ENOTTY || IsTtyGoneError(r.Error);
    // A ttyS node without a UART is no port, even when we may not open it.
    r.State = notFound || ComPortWithoutUart(r.Path) ? psAbsent : psNotAvailable;
    return r;
  }
  // It may have been swapped meanwhile; and only a terminal is a port, not /dev/zero planted as ttyS2.
  const bool device = ::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && ::isatty(fd) == 1;
  ::close(fd);
  if (!device || ComPortWithoutUart(r.Path)) {
    r.Error = ENODEV;
    return r;
  }
  r.State = psFree;
  return r;
}

// ---- Shared data -------------------------------------------------------------

TComPortThreadSharedData::TComPortThreadSharedData(TComPortProber prober) : prober_(std::move(prober)) {}

void TComPortThreadSharedData::SetCallback(TCallback callback) {
  std::lock_guard<std::mutex> lock(mutex_);
  callback_ = std::move(callback);
}

void TComPortThreadSharedData::Report(int port, uint8_t state) {
  if (!callback_) return;
  try {
    callback_(port, state, generation_);
  } catch (...) {
    // A report that cannot be made is lost; the scan goes on.
  }
}

void TComPortThreadSharedData::Reset(bool notify) {
  std::lock_guard<std::mutex> lock(mutex_);
  next_ = 1;
  finished_ = 0;
  ++generation_;
  states_.fill(psNotScanned);
  probes_.fill(TComPortProbe{});
  if (notify)
    for (int n = 1; n <= ComPortCount; ++n) Report(n, psNotScanned);
}

bool TComPortThreadSharedData::TakeAndProbe() {
  int n = 0;
  uint32_t generation = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    n = next_;
    generation = generation_;
    if (n > ComPortCount) return false;
    ++next_;
    states_[n] = psProbing;
    Report(n, psProbing);
  }
  TComPortProbe probe;
  try {
    probe = prober_(n);
  } catch (...) {
    probe.State = psNotAvailable;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (generation != generation_) return true;  // a result from before a reset
  ++finished_;
  states_[n] = probe.State;
  probes_[n] = std::move(probe);
  Report(n, states_[n]);
  if (finished_ == ComPortCount) completed_.notify_all();
  return true;
}

bool TComPortThreadSharedData::Complete() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return finished_ >= ComPortCount;
}

bool TComPortThreadSharedData::WaitComplete(std::chrono::milliseconds bound) {
  std::unique_lock<std::mutex> lock(mutex_);
  return completed_.wait_for(lock, bound, [this] { return finished_ >= ComPortCount; });
}

uint8_t TComPortThreadSharedData::State(int port) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return port >= 1 && port <= ComPortCount ? states_[port] : uint8_t{psNotScanned};
}

TComPortProbe TComPortThreadSharedData::Probe(int port) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return port >= 1 && port <= ComPortCount ? probes_[port] : TComPortProbe{};
}

uint32_t TComPortThreadSharedData::Generation() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return generation_;
}

// ---- Suspender ---------------------------------------------------------------

void TThreadSuspender::CheckPoint() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!requested_ && !suspended_) return;
  parked_ = true;
  changed_.notify_all();
  changed_.wait(lock, [this] { return terminated_ || (!requested_ && !suspended_); });
  parked_ = false;
}

void TThreadSuspender::Idle(std::chrono::milliseconds bound) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_for(lock, bound, [this] { return requested_ || suspended_ || terminated_; });
}

bool TThreadSuspender::Terminated() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return terminated_;
}

void TThreadSuspender::RequestSuspend() {
  std::lock_guard<std::mutex> lock(mutex_);
  requested_ = true;
  changed_.notify_all();
}

void TThreadSuspender::CompleteSuspend() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!suspended_) changed_.wait(lock, [this] { return parked_ || terminated_; });
  suspended_ = true;
  requested_ = false;
}

void TThreadSuspender::Resume() {
  std::lock_guard<std::mutex> lock(mutex_);
  suspended_ = false;
  changed_.notify_all();
}

void TThreadSuspender::Terminate() {
  std::lock_guard<std::mutex> lock(mutex_);
  terminated_ = true;
  changed_.notify_all();
}

// ---- Scan threads ------------------------------------------------------------

TScanThread::TScanThread(TComPortThreadSharedData& shared, int index)
    : shared_(shared), thread_([this, index] { Run(index); }) {}

TScanThread::~TScanThread() {
  suspender_.Terminate();
  if (thread_.joinable()) thread_.join();
}

void TScanThread::Run(int index) {
  korvan::NameThread("COM scan " + std::to_string(index));
  while (!suspender_.Terminated()) {
    try {
      suspender_.CheckPoint();
      if (suspender_.Terminated()) break;
      if (!shared_.TakeAndProbe()) suspender_.Idle(std::chrono::milliseconds(1));
    } catch (...) {
      // Keep scanning; nothing here may end the program.
    }
  }
}

// ---- Scanner -----------------------------------------------------------------

TComPortScannerCore::TComPortScannerCore(TComPortProber prober) : shared_(std::move(prober)) {
  for (int i = 0; i < ThreadCount; ++i) threads_.push_back(std::make_unique<TScanThread>(shared_, i + 1));
}

TComPortScannerCore::~TComPortScannerCore() {
  shared_.SetCallback(nullptr);
  for (auto& t : threads_) t->Suspender().Terminate();
  threads_.clear();
}

void TComPortScannerCore::StartScan() {
  shared_.Reset(false);
  for (auto& t : threads_) t->Suspender().Resume();
}

void TComPortScannerCore::Stop() {
  for (auto& t : threads_) t->Suspender().RequestSuspend();
  for (auto& t : threads_) t->Suspender().CompleteSuspend();
}

bool TComPortScannerCore::ScanAndWait(std::chrono::milliseconds bound) {
  StartScan();
  const bool complete = shared_.WaitComplete(bound);
  Stop();
  return complete;
}

}  // namespace duomat
