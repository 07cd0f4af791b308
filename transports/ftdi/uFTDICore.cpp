#include "transports/ftdi/uFTDICore.h"

#include <algorithm>
#include <cstring>

namespace korvan::transport {

FTDI_Exception::FTDI_Exception(FT_STATUS status)
    : Exception("FTDI Error " + std::to_string(status)), code_(static_cast<int>(status)) {}

TFTDIDeviceCore::TFTDIDeviceCore() : lock_("TFTDIDeviceCore") {}

TFTDIDeviceCore::~TFTDIDeviceCore() {
  try {
    TWriteLock guard(lock_);
    CloseHandle();
  } catch (...) {
  }
}

void TFTDIDeviceCore::Check(FT_STATUS status) {
  if (status != FT_OK) throw FTDI_Exception(status);
}

void TFTDIDeviceCore::Open() {
  TWriteLock guard(lock_);
  if (handle_) return;
  // The library would open the first converter that has no number.
  if (serialNumber_.empty()) throw FTDI_Exception(FT_DEVICE_NOT_FOUND);
  // At most 16 characters, zero-terminated: a longer number opens its first 16.
  char serial[FT_SERIAL_NUMBER_LENGTH + 1] = {};
  std::strncpy(serial, serialNumber_.c_str(), FT_SERIAL_NUMBER_LENGTH);
  FT_HANDLE handle = nullptr;
  Check(D2XX().FT_OpenEx(serial, FT_OPEN_BY_SERIAL_NUMBER, &handle));
  handle_ = handle;
  ++generation_;
  try {
    Check(D2XX().FT_SetBaudRate(handle_, static_cast<int32_t>(baudRate_)));
    ApplyDataCharacteristics();
    ApplyDTR();
    ApplyRTS();
    ApplyUSBParameters();
  } catch (...) {
    // Left open, the next open would "succeed" without these settings.
    CloseHandle();
    throw;
  }
}

void TFTDIDeviceCore::CloseHandle() {
  if (!handle_) return;
  const FT_HANDLE handle = handle_;
  handle_ = nullptr;
  D2XX().FT_Close(handle);
}

void TFTDIDeviceCore::Close() {
  TWriteLock guard(lock_);
  if (!handle_) return;
  const FT_HANDLE handle = handle_;
  handle_ = nullptr;  // closed whatever the status says
  Check(D2XX().FT_Close(handle));
}

bool TFTDIDeviceCore::IsOpen() {
  TReadLock guard(lock_);
  return handle_ != nullptr;
}

uint64_t TFTDIDeviceCore::Generation() {
  TReadLock guard(lock_);
  return generation_;
}

void TFTDIDeviceCore::CloseIfGeneration(uint64_t generation) {
  TWriteLock guard(lock_);
  if (generation_ == generation) CloseHandle();
}

void TFTDIDeviceCore::Write(const std::string& bytes) {
  TWriteLock guard(lock_);
  uint32_t written = 0;  // not examined: one call takes all or fails
  Check(D2XX().FT_Write(handle_, bytes.data(), static_cast<int32_t>(bytes.size()), &written));
}

std::string TFTDIDeviceCore::ReadAll() {
  TWriteLock guard(lock_);
  uint32_t count = 0;
  Check(D2XX().FT_GetQueueStatus(handle_, &count));
  std::string data(count, '\0');
  uint32_t read = 0;
  Check(D2XX().FT_Read(handle_, data.data(), static_cast<int32_t>(count), &read));
  data.resize(std::min<size_t>(read, data.size()));
  return data;
}

void TFTDIDeviceCore::Purge() {
  TWriteLock guard(lock_);
  Check(D2XX().FT_Purge(handle_, FT_PURGE_TX));
}

uint32_t TFTDIDeviceCore::ModemStatus() {
  TReadLock guard(lock_);
  uint32_t status = 0;
  Check(D2XX().FT_GetModemStatus(handle_, &status));
  return status;
}

uint32_t TFTDIDeviceCore::QueueStatus() {
  TReadLock guard(lock_);
  uint32_t rx = 0, tx = 0, events = 0;
  Check(D2XX().FT_GetStatus(handle_, &rx, &tx, &events));
  return rx;
}

void TFTDIDeviceCore::SetEventNotification(uint32_t mask, TFTEventHandle* event) {
  TWriteLock guard(lock_);
  Check(D2XX().FT_SetEventNotification(handle_, mask, event));
}

bool TFTDIDeviceCore::NeedsPolling() {
  TReadLock guard(lock_);
  return handle_ && !D2XX().KeepsSignals(handle_);
}

void TFTDIDeviceCore::ApplyDataCharacteristics() {
  if (handle_) Check(D2XX().FT_SetDataCharacteristics(handle_, wordLength_, stopBits_, parity_));
}
void TFTDIDeviceCore::ApplyDTR() {
  if (handle_) Check(dtr_ ? D2XX().FT_SetDtr(handle_) : D2XX().FT_ClrDtr(handle_));
}
void TFTDIDeviceCore::ApplyRTS() {
  if (handle_) Check(rts_ ? D2XX().FT_SetRts(handle_) : D2XX().FT_ClrRts(handle_));
}
void TFTDIDeviceCore::ApplyUSBParameters() {
  if (handle_) Check(D2XX().FT_SetUSBParameters(handle_, inTransferSize_, outTransferSize_));
}

template <class T>
void TFTDIDeviceCore::Change(T& field, T value, void (TFTDIDeviceCore::*apply)()) {
  TWriteLock guard(lock_);
  const T old = field;
  field = value;
  try {
    if (apply) (this->*apply)();
  } catch (...) {
    field = old;  // what is stored stays what the converter has
    throw;
  }
}

template <class T>
T TFTDIDeviceCore::Read(const T& field) {
  TReadLock guard(lock_);
  return field;
}

std::string TFTDIDeviceCore::SerialNumber() { return Read(serialNumber_); }
void TFTDIDeviceCore::SetSerialNumber(const std::string& value) { Change(serialNumber_, value, nullptr); }
uint32_t TFTDIDeviceCore::BaudRate() { return Read(baudRate_); }
void TFTDIDeviceCore::SetBaudRate(uint32_t value) {
  TWriteLock guard(lock_);
  if (handle_) Check(D2XX().FT_SetBaudRate(handle_, static_cast<int32_t>(value)));
  baudRate_ = value;
}
uint8_t TFTDIDeviceCore::WordLength() { return Read(wordLength_); }
void TFTDIDeviceCore::SetWordLength(uint8_t value) {
  Change(wordLength_, value, &TFTDIDeviceCore::ApplyDataCharacteristics);
}
uint8_t TFTDIDeviceCore::StopBits() { return Read(stopBits_); }
void TFTDIDeviceCore::SetStopBits(uint8_t value) {
  Change(stopBits_, value, &TFTDIDeviceCore::ApplyDataCharacteristics);
}
uint8_t TFTDIDeviceCore::Parity() { return Read(parity_); }
void TFTDIDeviceCore::SetParity(uint8_t value) { Change(parity_, value, &TFTDIDeviceCore::ApplyDataCharacteristics); }
bool TFTDIDeviceCore::RTS() { return Read(rts_); }
void TFTDIDeviceCore::SetRTS(bool value) { Change(rts_, value, &TFTDIDeviceCore::ApplyRTS); }
bool TFTDIDeviceCore::DTR() { return Read(dtr_); }
void TFTDIDeviceCore::SetDTR(bool value) { Change(dtr_, value, &TFTDIDeviceCore::ApplyDTR); }
uint32_t TFTDIDeviceCore::OutTransferSize() { return Read(outTransferSize_); }
void TFTDIDeviceCore::SetOutTransferSize(uint32_t value) {
  Change(outTransferSize_, value, &TFTDIDeviceCore::ApplyUSBParameters);
}
uint32_t TFTDIDeviceCore::InTransferSize() { return Read(inTransferSize_); }
void TFTDIDeviceCore::SetInTransferSize(uint32_t value) {
  Change(inTransferSize_, value, &TFTDIDeviceCore::ApplyUSBParameters);
}

}  // namespace korvan::transport
