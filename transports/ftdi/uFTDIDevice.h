#pragma once
// One FTDI converter with its work thread, receive and modem-line events.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "comm/uDispatcher.h"
#include "comm/uThreadRunner.h"
#include "transports/ftdi/uFTDICore.h"

namespace korvan::transport {

class TFTDIDevice;

// Line codes of the serial-line family; the names the modem-line handler uses.
const char* FTDILineName(int line);  // 0 "rts", 1 "cts", 2 "dtr", 3 "dsr", 4 "ring", 5 "rlsd"

class TFTDIDeviceCoreDataReceivedDispatcherEvent : public TDispatcherEventOf<TFTDIDevice*, const std::string&> {
 public:
  using TDispatcherEventOf::TDispatcherEventOf;
};
class TFTDIDeviceCoreSignalChangedDispatcherEvent : public TDispatcherEventOf<TFTDIDevice*, int, bool> {
 public:
  using TDispatcherEventOf::TDispatcherEventOf;
};

// (device, bytes received)
class TFTDIDeviceCoreDataReceivedEventSlot : public TDispatcherEventSlot {
 public:
  using THandler = TFTDIDeviceCoreDataReceivedDispatcherEvent::THandler;
  void SetHandler(const THandler& handler, TRef<IInterface> owner, TDispatcherQueue* queue) {
    Set(handler, std::move(owner), queue);
  }
  void Post(TFTDIDevice* device, const std::string& data) {
    Dispatch(std::make_unique<TFTDIDeviceCoreDataReceivedDispatcherEvent>(device, data));
  }
};

// (device, line code, new state)
class TFTDIDeviceCoreSignalChangedEventSlot : public TDispatcherEventSlot {
 public:
  using THandler = TFTDIDeviceCoreSignalChangedDispatcherEvent::THandler;
  void SetHandler(const THandler& handler, TRef<IInterface> owner, TDispatcherQueue* queue) {
    Set(handler, std::move(owner), queue);
  }
  void Post(TFTDIDevice* device, int line, bool state) {
    Dispatch(std::make_unique<TFTDIDeviceCoreSignalChangedDispatcherEvent>(device, line, state));
  }
};

// Waits for the access layer's event notification and delivers received
// bytes and modem-line changes through its two slots. It takes only the
// core's lock, one call at a time, and none while its events run.
class TFTDIDeviceWorkThread {
 public:
  static constexpr int WaitMs = 100;

  TFTDIDeviceWorkThread(TFTDIDevice* device, TFTDIDeviceCore* core);
  ~TFTDIDeviceWorkThread();
  TFTDIDeviceWorkThread(const TFTDIDeviceWorkThread&) = delete;
  TFTDIDeviceWorkThread& operator=(const TFTDIDeviceWorkThread&) = delete;

  void Start();
  // Signals the stop event and waits for the thread to end.
  void Stop();

  TFTDIDeviceCoreDataReceivedEventSlot& DataReceivedSlot() { return dataReceived_; }
  TFTDIDeviceCoreSignalChangedEventSlot& SignalChangedSlot() { return signalChanged_; }
  TFTEventHandle* DataEvent() { return &dataEvent_; }
  // Line tracking starts again from this modem status.
  void SetLineStates(uint32_t modemStatus);

 private:
  void Execute(TThreadRunner* runner);
  // True when the data event was signalled (or bytes may be waiting).
  bool WaitForEvent();
  void HandleEvent();

  TFTDIDevice* device_;
  TFTDIDeviceCore* core_;
  TFTDIDeviceCoreDataReceivedEventSlot dataReceived_;
  TFTDIDeviceCoreSignalChangedEventSlot signalChanged_;
  TFTEventHandle dataEvent_;
  bool stop_ = false;  // the stop event (manual reset), under dataEvent_.eMutex
  std::array<std::atomic<bool>, 4> lines_{};  // CTS, DSR, ring, DCD
  std::unique_ptr<TThreadRunner> runner_;
};

// One converter: the locked facade over one core and its work thread.
class TFTDIDevice {
 public:
  TFTDIDevice();  // the thread runs from here until destruction
  ~TFTDIDevice();
  TFTDIDevice(const TFTDIDevice&) = delete;
  TFTDIDevice& operator=(const TFTDIDevice&) = delete;

  void Open();
  void Close();
  bool IsOpen();
  // A failed write or purge closes the converter and passes the failure on.
  void Write(const std::string& bytes);
  void Purge();
  // Closes, stores and reopens an open converter; only stores on a closed one.
  void SetSerialNumber(const std::string& value);
  uint32_t ModemStatus();

  void SetBaudRate(uint32_t value);
  void SetWordLength(uint8_t value);
  void SetStopBits(uint8_t value);
  void SetParity(uint8_t value);
  void SetDTR(bool value);
  void SetRTS(bool value);
  void SetOutTransferSize(uint32_t value);
  void SetInTransferSize(uint32_t value);

  // The stored settings (reads take the core's shared lock).
  TFTDIDeviceCore& Core() { return *core_; }
  TFTDIDeviceCoreDataReceivedEventSlot& DataReceivedSlot() { return thread_->DataReceivedSlot(); }
  TFTDIDeviceCoreSignalChangedEventSlot& SignalChangedSlot() { return thread_->SignalChangedSlot(); }

 private:
  void PrepareThread();  // under the exclusive lock
  // A core setting, changed under the exclusive lock.
  template <class V>
  void SetLocked(void (TFTDIDeviceCore::*set)(V), V value) {
    TWriteLock guard(lock_);
    (core_.get()->*set)(value);
  }

  TMultiReadExclusiveWriteSynchronizerExtended lock_;
  std::unique_ptr<TFTDIDeviceCore> core_;
  std::unique_ptr<TFTDIDeviceWorkThread> thread_;
  bool threadRunning_ = true;
};

}  // namespace korvan::transport
