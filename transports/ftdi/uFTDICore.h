#pragma once
// One FTDI converter's open handle and line settings; the exception of a failing D2XX call.
#include <cstdint>
#include <string>

#include "comm/uException.h"
#include "comm/uSynchronizer.h"
#include "transports/ftdi/uFTD2XX.h"

namespace korvan::transport {

// A failing D2XX status: "FTDI Error " and the status in decimal.
class FTDI_Exception : public Exception {
 public:
  explicit FTDI_Exception(FT_STATUS status);
  int Code() const { return code_; }

 private:
  int code_;
};

// The open handle and the line settings of one converter. Every call into
// the access layer goes through here; a failing status raises FTDI_Exception.
// Setters store the value and, while open, apply it at once.
class TFTDIDeviceCore {
 public:
  TFTDIDeviceCore();
  ~TFTDIDeviceCore();  // closes an open handle
  TFTDIDeviceCore(const TFTDIDeviceCore&) = delete;
  TFTDIDeviceCore& operator=(const TFTDIDeviceCore&) = delete;

  TMultiReadExclusiveWriteSynchronizerExtended& Lock() { return lock_; }

  // Opens by serial number and applies every setting; nothing when open. An
  // empty serial number opens nothing (status 2, device not found).
  void Open();
  void Close();
  bool IsOpen();
  // Counts opens, so that a thread closes only the handle it saw fail.
  uint64_t Generation();
  void CloseIfGeneration(uint64_t generation);

  void Write(const std::string& bytes);
  // Everything queued now; empty when nothing is.
  std::string ReadAll();
  void Purge();
  uint32_t ModemStatus();
  // Bytes waiting (FT_GetStatus).
  uint32_t QueueStatus();
  void SetEventNotification(uint32_t mask, TFTEventHandle* event);
  // Open on a backend that may lose a signal given while nobody waits (the
  // vendor library): its waiter must look at the queue now and then.
  bool NeedsPolling();

  std::string SerialNumber();
  void SetSerialNumber(const std::string& value);  // takes effect at the next open
  uint32_t BaudRate();
  void SetBaudRate(uint32_t value);
  uint8_t WordLength();
  void SetWordLength(uint8_t value);
  uint8_t StopBits();
  void SetStopBits(uint8_t value);
  uint8_t Parity();
  void SetParity(uint8_t value);
  bool RTS();
  void SetRTS(bool value);
  bool DTR();
  void SetDTR(bool value);
  uint32_t OutTransferSize();
  void SetOutTransferSize(uint32_t value);
  uint32_t InTransferSize();
  void SetInTransferSize(uint32_t value);

 private:
  void Check(FT_STATUS status);
  void CloseHandle();  // under the exclusive lock
  void ApplyDataCharacteristics();
  void ApplyDTR();
  void ApplyRTS();
  void ApplyUSBParameters();
  template <class T>
  void Change(T& field, T value, void (TFTDIDeviceCore::*apply)());
  template <class T>
  T Read(const T& field);

  TMultiReadExclusiveWriteSynchronizerExtended lock_;
  FT_HANDLE handle_ = nullptr;  // null: closed
  uint64_t generation_ = 0;
  std::string serialNumber_;
  uint32_t baudRate_ = 115200;
  uint8_t wordLength_ = 8;
  uint8_t stopBits_ = 0;
  uint8_t parity_ = 0;
  bool rts_ = true;
  bool dtr_ = true;
  uint32_t outTransferSize_ = 2048;
  uint32_t inTransferSize_ = 4096;
};

}  // namespace korvan::transport
