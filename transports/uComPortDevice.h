#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "comm/uException.h"
#include "transports/uTermios2.h"

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
class TComPortDevice {
 public:
  enum TEventKind { evTxEmpty = 0, evLine = 1, evData = 2, evError = 3 };
  // Called on the event thread; never while the device closes.
  using THandler = std::function<void(int kind, uint32_t data)>;

  static constexpr int PollTimeoutMs = 200;
  static constexpr int ThreadStartTimeoutMs = 3000;
  static constexpr int PurgeTimeoutMs = 2000;

  TComPortDevice();
  ~TComPortDevice();
  TComPortDevice(const TComPortDevice&) = delete;
  TComPortDevice& operator=(const TComPortDevice&) = delete;

  void Open();  // throws EComPortError with the failure's text
  void Close();
  bool IsOpen() const { return open_.load(); }

  // Takes the bytes whole or not at all.
  void Write(const std::string& bytes);
  void PurgeOutput();
  // Bytes waiting in the kernel; -1 when the device has gone.
  int InputQueueCount();
  // Reads what is waiting now.
  std::string ReadAvailable();
  // MS_* bits; 0 on a closed port or a line without modem control.
  uint32_t ModemStatus();

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
  void SetPort(int port);
  int GetInBufSize();
  void SetInBufSize(int size);
  int GetOutBufSize();
  void SetOutBufSize(int size);
  // Free space of the transmit ring buffer.
  int TransmitFree();

 private:
  void ApplySettings();  // under settingsMutex_
  void ApplyControlLines();
  void TransmitLoop();
  void EventLoop();
  void Signal(uint64_t bits);
  void StopThreads();

  std::mutex settingsMutex_;
  TLineSettings settings_;
  bool dtr_ = true;
  bool rts_ = true;
  int port_ = 0;
  int inBufSize_ = 10000000;
  int outBufSize_ = 10000000;

  std::mutex inputMutex_;  // reads, queue counts, closing
  int fd_ = -1;
  int eventFd_ = -1;  // wakes the event thread: stop or transmit buffer empty
  std::atomic<bool> open_{false};
  std::atomic<bool> active_{false};
  std::atomic<bool> gone_{false};

  std::mutex handlerMutex_;
  THandler handler_;

  // Transmit ring buffer.
  std::mutex txMutex_;
  std::mutex writingMutex_;  // held only around one write() call
  std::condition_variable txCv_;
  std::vector<char> ring_;
  size_t ringHead_ = 0;
  size_t ringCount_ = 0;
  uint64_t purgeGeneration_ = 0;
  bool txStop_ = false;
  std::thread txThread_;
  std::thread eventThread_;
  std::atomic<bool> eventStop_{false};
};

}  // namespace korvan::transport
