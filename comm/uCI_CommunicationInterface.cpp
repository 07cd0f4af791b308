#include "comm/uCI_CommunicationInterface.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "comm/uTimer.h"
#include "platform/uTickCount.h"

namespace korvan::transport {

TCommunicationInterface::TCommunicationInterface() : lock_("TCommunicationInterface") {}

TCommunicationInterface::~TCommunicationInterface() = default;

void TCommunicationInterface::Constructed() {
  // The class name is known only once the whole object exists.
  lock_.SetName(ClassName());
  TMyInterfacedObject::Constructed();
}

void TCommunicationInterface::SetActive(bool value) {
  TWriteLock guard(lock_);
  if (value == GetActive()) return;
  if (value)
    Open();
  else
    Close(false);
}

std::string TCommunicationInterface::GetConfiguration() { return "provider=" + GetProvider(); }

std::string TCommunicationInterface::GetIdentity() { return "provider=" + GetProvider(); }

void TCommunicationInterface::SetConfiguration(const std::string& S) {
  TWriteLock guard(lock_);
  if (InternalSetConfiguration(S))
    DoConfigurationChange(S);
  else
    DoError("SetConfiguration", {S}, 0);
}

bool TCommunicationInterface::Open() {
  TWriteLock guard(lock_);
  if (GetActive()) return true;
  const bool opened = InternalOpen();
  if (opened)
    DoOpen();
  else
    DoError("Open", {}, 0);
  return opened;
}

bool TCommunicationInterface::Close(bool Force) {
  // Set before waiting for the lock, so that a waiting SendAndReceive lets go.
  if (Force) {
    closing_.store(true);
    SignalInput();
  }
  TWriteLock guard(lock_);
  // Cleared while the lock is still held: a SendAndReceive queued behind
  // this close must not see the flag.
  struct ClearClosing {
    std::atomic<bool>& flag;
    ~ClearClosing() { flag.store(false); }
  } clear{closing_};
  if (!GetActive() && !Force) return true;
  const bool closed = InternalClose(Force);
  // A wait for an answer on this line ends now, not at its time-out.
  SignalInput();
  if (closed)
    DoClose();
  else
    DoError("Close", {}, 0);
  return closed;
}

int TCommunicationInterface::WriteString(const std::string& S) {
  TWriteLock guard(lock_);
  const int written = InternalWriteString(S);
  DoWriteString(S);
  return written;
}

void TCommunicationInterface::ReadString(std::string& S) {
  TWriteLock guard(lock_);
  S.clear();
  InternalReadString(S);
}

void TCommunicationInterface::SignalInput() {
  {
    std::lock_guard<std::mutex> lock(inputMutex_);
    ++inputSignals_;
  }
  inputSignal_.notify_all();
}

bool TCommunicationInterface::WaitForInput(uint32_t timeoutMs) {
  uint64_t seen;
  {
    std::lock_guard<std::mutex> lock(inputMutex_);
    seen = inputSignals_;
  }
  // Looked at after taking the count: whatever changes later signals.
  if (closing_.load() || InputCount() != 0 || !GetActive()) return true;
  if (SimulatedTime()) {
    // Nothing arrives on its own there: the time passes at once.
    SleepMs(timeoutMs);
    return false;
  }
  std::unique_lock<std::mutex> lock(inputMutex_);
  return inputSignal_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return inputSignals_ != seen; });
}

double TCommunicationInterface::GetByteTimeFactor() {
  TReadLock guard(lock_);
  return byteTimeFactor_;
}

void TCommunicationInterface::SetByteTimeFactor(double value) {
  TWriteLock guard(lock_);
  byteTimeFactor_ = value;
}

void TCommunicationInterface::SendAndReceive(const std::string& Data, int Timeout, int GapTimeout, int TotalExtra,
                                             bool ClearIn, bool ClearOut, const TCheckFunction& Check,
                                             const std::string& Prefix, std::string& Response) {
  Response.clear();
  TWriteLock guard(lock_);
  if (closing_.load()) return;
  DoWriteString(Data);
  if (!GetActive()) return;
  if (ClearIn) ClearInput();
  if (ClearOut) ClearOutput();
  SleepMs(1);
  InternalWriteString(Data);
  const double factor = byteTimeFactor_;
  const int64_t T = std::llround((static_cast<double>(Data.size()) + 5) * factor);
  const int64_t G = std::llround(GapTimeout * factor);
  const auto clamp = [](int64_t v) { return static_cast<uint32_t>(std::max<int64_t>(0, v)); };
  TTimer answer, total;
  answer.Start(clamp(T + Timeout));
  total.Start(clamp(T + TotalExtra));
  for (;;) {
    SleepMs(1);
    if (closing_.load()) break;
    if (InputCount() != 0) {
      std::string chunk;
      InternalReadString(chunk);
      Response += chunk;
      answer.Start(clamp(G));
    }
    if (answer.Expired() || total.Expired()) break;
    if (Check && Check(Prefix + Response)) break;
  }
}

TCINotifyEventSlotList* TCommunicationInterface::GetOpenedSlots() {
  TReadLock guard(lock_);
  return &openedSlots_;
}
TCINotifyEventSlotList* TCommunicationInterface::GetClosedSlots() {
  TReadLock guard(lock_);
  return &closedSlots_;
}
TCINotifyStringEventSlotList* TCommunicationInterface::GetDataReadSlots() {
  TReadLock guard(lock_);
  return &dataReadSlots_;
}
TCINotifyStringEventSlotList* TCommunicationInterface::GetDataWrittenSlots() {
  TReadLock guard(lock_);
  return &dataWrittenSlots_;
}
TCINotifyStringEventSlotList* TCommunicationInterface::GetConfigurationSlots() {
  TReadLock guard(lock_);
  return &configurationSlots_;
}
TCINotifyErrorEventSlotList* TCommunicationInterface::GetErrorSlots() {
  TReadLock guard(lock_);
  return &errorSlots_;
}

void TCommunicationInterface::DoOpen() {
  try {
    openedSlots_.Raise(Self());
  } catch (...) {
    DoError("DoOpen", {}, 0);
  }
}

void TCommunicationInterface::DoClose() {
  try {
    closedSlots_.Raise(Self());
  } catch (...) {
    DoError("DoClose", {}, 0);
  }
}

void TCommunicationInterface::DoReadString(const std::string& S) {
  try {
    dataReadSlots_.Raise(Self(), S);
  } catch (...) {
    DoError("DoReadString", {}, 0);
  }
}

void TCommunicationInterface::DoWriteString(const std::string& S) {
  try {
    dataWrittenSlots_.Raise(Self(), S);
  } catch (...) {
    DoError("DoWriteString", {}, 0);
  }
}

void TCommunicationInterface::DoConfigurationChange(const std::string& S) {
  try {
    configurationSlots_.Raise(Self(), S);
  } catch (...) {
    DoError("DoConfigurationChange", {S}, 0);
  }
}

void TCommunicationInterface::DoError(const std::string& Operation, const std::vector<std::string>& Args, int Code) {
  errorSlots_.Raise(Self(), Operation, Args, Code);
}

}  // namespace korvan::transport
