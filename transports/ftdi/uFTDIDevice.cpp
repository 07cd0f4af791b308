#include "transports/ftdi/uFTDIDevice.h"

#include <cerrno>
#include <ctime>

#include "platform/uThreadName.h"
#include "platform/uTickCount.h"

namespace korvan::transport {

const char* FTDILineName(int line) {
  static const char* const names[] = {"rts", "cts", "dtr", "dsr", "ring", "rlsd"};
  return line >= 0 && line < 6 ? names[line] : "";
}

namespace {
// The four input lines in the order they are compared: code and status bit.
constexpr struct {
  int line;
  uint32_t bit;
} kLines[4] = {{1, FT_MODEM_CTS}, {3, FT_MODEM_DSR}, {4, FT_MODEM_RI}, {5, FT_MODEM_DCD}};
}  // namespace

// ---- TFTDIDeviceWorkThread ---------------------------------------------------

TFTDIDeviceWorkThread::TFTDIDeviceWorkThread(TFTDIDevice* device, TFTDIDeviceCore* core)
    : device_(device), core_(core) {
  if (!core_) throw Exception("TFTDIDeviceWorkThread.Create: not Assigned Core");
  pthread_condattr_t attr;
  pthread_condattr_init(&attr);
  pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
  pthread_cond_init(&dataEvent_.eCondVar, &attr);
  pthread_condattr_destroy(&attr);
  pthread_mutex_init(&dataEvent_.eMutex, nullptr);
  dataEvent_.iVar = 0;
  runner_ = std::make_unique<TThreadRunner>(TThreadRunner::TRunMethod::Bind<&TFTDIDeviceWorkThread::Execute>(this));
}

TFTDIDeviceWorkThread::~TFTDIDeviceWorkThread() {
  Stop();
  runner_.reset();
  pthread_cond_destroy(&dataEvent_.eCondVar);
  pthread_mutex_destroy(&dataEvent_.eMutex);
}

void TFTDIDeviceWorkThread::Start() { runner_->Start(); }

void TFTDIDeviceWorkThread::Stop() {
  pthread_mutex_lock(&dataEvent_.eMutex);
  stop_ = true;
  pthread_cond_signal(&dataEvent_.eCondVar);
  pthread_mutex_unlock(&dataEvent_.eMutex);
  runner_->Terminate();
  runner_->WaitFor();
}

void TFTDIDeviceWorkThread::SetLineStates(uint32_t modemStatus) {
  for (size_t i = 0; i < 4; ++i) lines_[i].store((modemStatus & kLines[i].bit) != 0);
}

bool TFTDIDeviceWorkThread::WaitForEvent() {
  timespec deadline{};
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_nsec += WaitMs * 1000000L;
  deadline.tv_sec += deadline.tv_nsec / 1000000000L;
  deadline.tv_nsec %= 1000000000L;
  pthread_mutex_lock(&dataEvent_.eMutex);
  int result = 0;
  if (!stop_ && !dataEvent_.iVar) result = pthread_cond_timedwait(&dataEvent_.eCondVar, &dataEvent_.eMutex, &deadline);
  // Our backends set iVar; the vendor library may only signal.
  const bool signalled = !stop_ && (dataEvent_.iVar != 0 || result == 0);
  dataEvent_.iVar = 0;
  pthread_mutex_unlock(&dataEvent_.eMutex);
  return signalled;
}

void TFTDIDeviceWorkThread::Execute(TThreadRunner* runner) {
  NameThread("FTDI work");
  while (!runner->Terminated()) {
    const bool signalled = WaitForEvent();
    if (runner->Terminated()) break;
    // A condition variable keeps no signal that came while we were busy, as
    // an event would: on the vendor library a time-out looks at the queue
    // too. Our kernel backend keeps its signals, and an idle converter there
    // is left alone (each look is a USB request on some chips).
    if (signalled || core_->NeedsPolling()) HandleEvent();
    SleepMs(1);
  }
}

void TFTDIDeviceWorkThread::HandleEvent() {
  const uint64_t generation = core_->Generation();
  try {
    if (!core_->IsOpen()) return;
    const uint32_t waiting = core_->QueueStatus();
    const uint32_t modem = core_->ModemStatus();
    for (size_t i = 0; i < 4; ++i) {
      const bool state = (modem & kLines[i].bit) != 0;
      if (state == lines_[i].load()) continue;
      signalChanged_.Post(device_, kLines[i].line, state);
      lines_[i].store(state);
    }
    if (waiting > 0) {
      const std::string data = core_->ReadAll();
      if (!data.empty()) dataReceived_.Post(device_, data);
    }
  } catch (...) {
    // Unplugged, hung up: closed quietly; the transport reports itself closed.
    try {
      core_->CloseIfGeneration(generation);
    } catch (...) {
    }
  }
}

// ---- TFTDIDevice --------------------------------------------------------------

TFTDIDevice::TFTDIDevice()
    : lock_("TFTDIDevice"),
      core_(std::make_unique<TFTDIDeviceCore>()),
      thread_(std::make_unique<TFTDIDeviceWorkThread>(this, core_.get())) {
  thread_->Start();
}

TFTDIDevice::~TFTDIDevice() {
  // Not inside a library call when it stops: the core's lock is free of it.
  thread_->Stop();
  threadRunning_ = false;
  core_.reset();    // closes the handle; the notifier is gone before the event
  thread_.reset();
}

void TFTDIDevice::PrepareThread() {
  if (!core_->IsOpen()) return;
  core_->SetEventNotification(FT_EVENT_RXCHAR | FT_EVENT_MODEM_STATUS, thread_->DataEvent());
  thread_->SetLineStates(core_->ModemStatus());
}

void TFTDIDevice::Open() {
  TWriteLock guard(lock_);
  core_->Open();
  PrepareThread();
}

void TFTDIDevice::Close() {
  TWriteLock guard(lock_);
  core_->Close();
}

bool TFTDIDevice::IsOpen() {
  TReadLock guard(lock_);
  return core_->IsOpen();
}

void TFTDIDevice::Write(const std::string& bytes) {
  TWriteLock guard(lock_);
  try {
    core_->Write(bytes);
  } catch (...) {
    try {
      core_->Close();
    } catch (...) {
    }
    throw;
  }
}

void TFTDIDevice::Purge() {
  TWriteLock guard(lock_);
  try {
    core_->Purge();
  } catch (...) {
    try {
      core_->Close();
    } catch (...) {
    }
    throw;
  }
}

void TFTDIDevice::SetSerialNumber(const std::string& value) {
  TWriteLock guard(lock_);
  if (core_->IsOpen()) {
    core_->Close();
    core_->SetSerialNumber(value);
    core_->Open();
  } else {
    core_->SetSerialNumber(value);
  }
  PrepareThread();
}

uint32_t TFTDIDevice::ModemStatus() {
  TReadLock guard(lock_);
  return core_->ModemStatus();
}

void TFTDIDevice::SetBaudRate(uint32_t value) { SetLocked(&TFTDIDeviceCore::SetBaudRate, value); }
void TFTDIDevice::SetWordLength(uint8_t value) { SetLocked(&TFTDIDeviceCore::SetWordLength, value); }
void TFTDIDevice::SetStopBits(uint8_t value) { SetLocked(&TFTDIDeviceCore::SetStopBits, value); }
void TFTDIDevice::SetParity(uint8_t value) { SetLocked(&TFTDIDeviceCore::SetParity, value); }
void TFTDIDevice::SetDTR(bool value) { SetLocked(&TFTDIDeviceCore::SetDTR, value); }
void TFTDIDevice::SetRTS(bool value) { SetLocked(&TFTDIDeviceCore::SetRTS, value); }
void TFTDIDevice::SetOutTransferSize(uint32_t value) { SetLocked(&TFTDIDeviceCore::SetOutTransferSize, value); }
void TFTDIDevice::SetInTransferSize(uint32_t value) { SetLocked(&TFTDIDeviceCore::SetInTransferSize, value); }

}  // namespace korvan::transport
