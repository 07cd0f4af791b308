#pragma once
// One serial port device: exclusive open, line settings, modem lines.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "comm/uException.h"
#include "transports/serial/uTermios2.h"

namespace korvan::transport {

class EComPortError : public Exception {
 public:
  using Exception::Exception;
};

// Modem status bits, as the serial transports report them.
constexpr uint32_t MS_CTS_ON = 0x0010;
constexpr uint32_t MS_DSR_ON = 0x0020;
constexpr uint32_t MS_RING_ON = 0x0040;
constexpr uint32_t MS_RLSD_ON = 0x0080;
// Line event bits.
constexpr uint32_t EV_RXCHAR = 0x0001;
constexpr uint32_t EV_CTS = 0x0008;
constexpr uint32_t EV_DSR = 0x0010;
constexpr uint32_t EV_RLSD = 0x0020;
constexpr uint32_t EV_RING = 0x0100;

// One serial port: open with exclusive access, line settings applied at
// once while open, a transmit thread that drains a ring buffer so writes
// never block, and an event thread that reports what happens on the line.
// Each open is a session that its threads share, so a device may be closed
// or destroyed from its own event thread.
class TComPortDevice {
 public:
  enum TEventKind { evTxEmpty = 0, evLine = 1, evData = 2, evError = 3 };
  // Called on the event thread; never once a close has begun.
  using THandler = std::function<void(int kind, uint32_t data)>;

  // At most this long between looks at a line's modem-line counters.
  static constexpr int PollTimeoutMs = 200;
  static constexpr int ThreadStartTimeoutMs = 3000;
  static constexpr int PurgeTimeoutMs = 2000;

  TComPortDevice();
  ~TComPortDevice();
  TComPortDevice(const TComPortDevice&) = delete;
  TComPortDevice& operator=(const TComPortDevice&) = delete;

  void Open();  // throws EComPortError with the failure's text
  void Close();
  // Open and not found gone by the event thread.
  bool IsOpen();
  // Open, but the line has gone (an unplugged adapter, a closed pseudo-terminal master).
  bool Vanished();

  // Takes the bytes whole or not at all.
  void Write(const std::string& bytes);
  void PurgeOutput();
  // Bytes waiting in the kernel; -1 when the device has gone.
  int InputQueueCount();
  // Reads what is waiting now.
  std::string ReadAvailable();
  // MS_* bits; 0 on a closed port or a line without modem control.
  uint32_t ModemStatus();

  // Replacing the handler waits for a call in progress on another thread.
  void SetHandler(THandler handler);

  TLineSettings Settings();
  void SetBaudRate(uint32_t rate);
  void SetDataBits(int bits);
  void SetParity(int parity);
  void SetStopBits(int stopBits);
  bool GetDTR();
  void SetDTR(bool on);
  bool GetRTS();
  void SetRTS(bool on);
  int GetPort();
  // Reopens an open device when the number changes; the same number changes nothing.
  void SetPort(int port);
  int GetInBufSize();
  void SetInBufSize(int size);
  int GetOutBufSize();
  void SetOutBufSize(int size);
  // Free space of the transmit ring buffer.
  int TransmitFree();

  struct TSession;
  struct THandlerGate;

 private:
  std::shared_ptr<TSession> Session();
  void ApplySettings();  // under settingsMutex_
  void ChangeControlLine(bool TComPortDevice::*line, bool on);

  std::mutex settingsMutex_;
  TLineSettings settings_;
  bool dtr_ = true;
  bool rts_ = true;
  int port_ = 0;
  int inBufSize_ = 10000000;
  int outBufSize_ = 10000000;

  std::recursive_mutex stateMutex_;  // open, close, reopen: one at a time
  std::mutex sessionMutex_;          // the pointer below
  std::shared_ptr<TSession> session_;
  std::shared_ptr<THandlerGate> gate_;
};

}  // namespace korvan::transport
