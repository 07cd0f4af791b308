#include "platform/uText.h"
#include "transports/serial/uCI_SerialPortInterface.h"

#include <algorithm>
#include <cctype>

#include "comm/uci_ConnectionString.h"
#include "platform/uTickCount.h"
#include "transports/uSelfReference.h"

namespace korvan::transport {

namespace {
std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
  return s;
}
std::string TrueFalse(bool b) { return b ? "True" : "False"; }
}  // namespace

std::string ParityWord(int parity) {
  switch (parity) {
    case ODDPARITY: return "Odd";
    case EVENPARITY: return "Even";
    case MARKPARITY: return "Mark";
    case SPACEPARITY: return "Space";
    case NOPARITY: return "None";
    default: return std::to_string(parity);  // reported as it came
  }
}

std::string StopBitsWord(int stopBits) {
  switch (stopBits) {
    case ONE5STOPBITS: return "OneAndHalf";
    case TWOSTOPBITS: return "Two";
    case ONESTOPBIT: return "One";
    default: return std::to_string(stopBits);
  }
}

bool ParseParityWord(const std::string& word, int& parity) {
  const std::string w = Upper(word);
  if (w == "NONE") parity = NOPARITY;
  else if (w == "ODD") parity = ODDPARITY;
  else if (w == "EVEN") parity = EVENPARITY;
  else if (w == "MARK") parity = MARKPARITY;
  else if (w == "SPACE") parity = SPACEPARITY;
  else return false;
  return true;
}

bool ParseStopBitsWord(const std::string& word, int& stopBits) {
  const std::string w = Upper(word);
  if (w == "1" || w == "ONE") stopBits = ONESTOPBIT;
  else if (w == "1.5" || w == "1,5" || w == "ONEANDHALF") stopBits = ONE5STOPBITS;
  else if (w == "2" || w == "TWO") stopBits = TWOSTOPBITS;
  else return false;
  return true;
}

// ---- TCommunicationSerialInterface ----------------------------------------

std::string TCommunicationSerialInterface::GetConfiguration() {
  TReadLock guard(Lock());
  std::string s = TCommunicationInternalBufferInterface::GetConfiguration();
  s += ";baudrate=" + std::to_string(ReadBaudRate());
  s += ";databits=" + std::to_string(ReadDataBits());
  s += ";stopbits=" + StopBitsWord(ReadStopBits());
  s += ";parity=" + ParityWord(ReadParity());
  s += ";dtr=" + BooleanToStr(ReadDTR());
  s += ";rts=" + BooleanToStr(ReadRTS());
  return s;
}

// Ranges are what the machine can honour: Linux has no four-bit characters.
const TProviderKeys& TCommunicationSerialInterface::LineKeyRules() {
  static const TProviderKeys keys = {
      {"baudrate", TValueForm::Integer, 1, 12000000, DUOMAT_NOOP_EN("ConnectionString", "bits per second")},
      {"databits", TValueForm::Integer, 5, 8, DUOMAT_NOOP_EN("ConnectionString", "bits per character")},
      {"parity", TValueForm::Parity},
      {"stopbits", TValueForm::StopBits},
      {"dtr", TValueForm::Boolean},
      {"rts", TValueForm::Boolean},
  };
  return keys;
}

bool TCommunicationSerialInterface::InternalSetConfiguration(const std::string& S) {
  TWriteLock guard(Lock());
  int32_t n = 0;
  bool b = false;
  std::string word;
  if (GetConfigurationInteger(S, "baudrate", n)) DoSetBaudRate(static_cast<uint32_t>(n));
  if (GetConfigurationInteger(S, "databits", n)) DoSetDataBits(static_cast<uint8_t>(n));
  int code = 0;
  if (GetConfigurationValue(S, "parity", word) && ParseParityWord(word, code)) DoSetParity(code);
  if (GetConfigurationValue(S, "stopbits", word) && ParseStopBitsWord(word, code)) DoSetStopBits(code);
  if (GetConfigurationBoolean(S, "dtr", b)) DoSetDTR(b);
  if (GetConfigurationBoolean(S, "rts", b)) DoSetRTS(b);
  return true;
}

uint32_t TCommunicationSerialInterface::GetBaudRate() {
  TReadLock guard(Lock());
  return ReadBaudRate();
}
void TCommunicationSerialInterface::SetBaudRate(uint32_t value) {
  TWriteLock guard(Lock());
  if (DoSetBaudRate(value))
    DoConfigurationChange("baudrate=" + std::to_string(value));
  else
    DoError("SetBaudRate", {std::to_string(value)}, 0);
}
bool TCommunicationSerialInterface::GetRTS() {
  TReadLock guard(Lock());
  return ReadRTS();
}
void TCommunicationSerialInterface::SetRTS(bool value) {
  TWriteLock guard(Lock());
  if (DoSetRTS(value))
    DoConfigurationChange("rts=" + TrueFalse(value));
  else
    DoError("SetRTS", {TrueFalse(value)}, 0);
}
bool TCommunicationSerialInterface::GetDTR() {
  TReadLock guard(Lock());
  return ReadDTR();
}
void TCommunicationSerialInterface::SetDTR(bool value) {
  TWriteLock guard(Lock());
  if (DoSetDTR(value))
    DoConfigurationChange("dtr=" + TrueFalse(value));
  else
    DoError("SetDTR", {TrueFalse(value)}, 0);
}
bool TCommunicationSerialInterface::GetCTS() {
  TWriteLock guard(Lock());
  return ReadModemStatus() & MS_CTS_ON;
}
bool TCommunicationSerialInterface::GetDSR() {
  TWriteLock guard(Lock());
  return ReadModemStatus() & MS_DSR_ON;
}
bool TCommunicationSerialInterface::GetRing() {
  TWriteLock guard(Lock());
  return ReadModemStatus() & MS_RING_ON;
}
bool TCommunicationSerialInterface::GetRLSD() {
  TWriteLock guard(Lock());
  return ReadModemStatus() & MS_RLSD_ON;
}
int TCommunicationSerialInterface::GetStopBits() {
  TReadLock guard(Lock());
  return ReadStopBits();
}
void TCommunicationSerialInterface::SetStopBits(int value) {
  TWriteLock guard(Lock());
  if (DoSetStopBits(value))
    DoConfigurationChange("stopbits=" + StopBitsWord(value));
  else
    DoError("SetStopBits", {StopBitsWord(value)}, 0);
}
int TCommunicationSerialInterface::GetParity() {
  TReadLock guard(Lock());
  return ReadParity();
}
void TCommunicationSerialInterface::SetParity(int value) {
  TWriteLock guard(Lock());
  if (DoSetParity(value))
    DoConfigurationChange("parity=" + ParityWord(value));
  else
    DoError("SetParity", {ParityWord(value)}, 0);
}
int TCommunicationSerialInterface::GetDataBits() {
  TReadLock guard(Lock());
  return ReadDataBits();
}
void TCommunicationSerialInterface::SetDataBits(int value) {
  TWriteLock guard(Lock());
  if (DoSetDataBits(value))
    DoConfigurationChange("databits=" + std::to_string(value));
  else
    DoError("SetDataBits", {std::to_string(value)}, 0);
}
int TCommunicationSerialInterface::GetOutBufSize() {
  TReadLock guard(Lock());
  return ReadOutBufSize();
}
void TCommunicationSerialInterface::SetOutBufSize(int value) {
  TWriteLock guard(Lock());
  WriteOutBufSize(value);
}
int TCommunicationSerialInterface::GetInBufSize() {
  TReadLock guard(Lock());
  return ReadInBufSize();
}
void TCommunicationSerialInterface::SetInBufSize(int value) {
  TWriteLock guard(Lock());
  WriteInBufSize(value);
}
TModemLineEvent TCommunicationSerialInterface::GetOnModemLine() { return LockedRead(modemMutex_, onModemLine_); }
void TCommunicationSerialInterface::SetOnModemLine(TModemLineEvent handler) { LockedWrite(modemMutex_, onModemLine_, handler); }
void TCommunicationSerialInterface::DoModemLineChange(int line, bool state) {
  if (TModemLineEvent h = GetOnModemLine()) h(this, line, state);
}

// ---- TCommunicationSerialPortInterface -------------------------------------

TCommunicationSerialPortInterface::TCommunicationSerialPortInterface()
    : device_(std::make_unique<TComPortDevice>()) {
  device_->SetBaudRate(9600);
  device_->SetHandler([this](int kind, uint32_t data) { ReceiveHandler(kind, data); });
  device_->SetOutBufSize(10000000);
  device_->SetInBufSize(10000000);
}

TCommunicationSerialPortInterface::~TCommunicationSerialPortInterface() {
  device_->SetHandler(nullptr);
  try {
    if (device_->IsOpen()) InternalClose(true);
  } catch (...) {
  }
  device_.reset();
}

bool TCommunicationSerialPortInterface::GetActive() {
  // Shared: callers that hold a read lock ask too, and the state is atomic.
  TReadLock guard(Lock());
  return device_->IsOpen();
}

std::string TCommunicationSerialPortInterface::GetConfiguration() {
  TReadLock guard(Lock());
  return TCommunicationSerialInterface::GetConfiguration() + ";comport=" + std::to_string(device_->GetPort());
}

std::string TCommunicationSerialPortInterface::GetIdentity() {
  TReadLock guard(Lock());
  return "provider=SERIAL_PORT;comport=" + std::to_string(device_->GetPort());
}

int TCommunicationSerialPortInterface::GetPort() {
  TReadLock guard(Lock());
  return device_->GetPort();
}

void TCommunicationSerialPortInterface::SetPort(int value) {
  const int port = static_cast<uint16_t>(value);  // port numbers are 16 bits, as from the "comport" key
  TWriteLock guard(Lock());
  if (DoSetPort(port))
    DoConfigurationChange("comport=" + std::to_string(port));
  else
    DoError("SetPort", {std::to_string(port)}, 0);
}

bool TCommunicationSerialPortInterface::InternalOpen() {
  try {
    device_->Open();
  } catch (...) {
    return false;  // the device's own text is not passed on
  }
  return device_->IsOpen();
}

bool TCommunicationSerialPortInterface::InternalClose(bool) {
  SleepMs(10);
  std::lock_guard<std::mutex> lock(closeLock_);
  device_->Close();
  return !device_->IsOpen();
}

void TCommunicationSerialPortInterface::InternalReadString(std::string& S) {
  TCommunicationSerialInterface::InternalReadString(S);
  CheckPortHealth();
}

int TCommunicationSerialPortInterface::InputCount() {
  const int count = TCommunicationSerialInterface::InputCount();
  CheckPortHealth();
  return count;
}

void TCommunicationSerialPortInterface::CheckPortHealth() {
  try {
    // The event thread may have found the line gone already.
    if (device_->InputQueueCount() < 0 || device_->Vanished()) {
      std::lock_guard<std::mutex> lock(closeLock_);
      device_->Close();
    }
  } catch (...) {
    try {
      device_->Close();
    } catch (...) {
    }
  }
}

int TCommunicationSerialPortInterface::InternalWriteString(const std::string& S) {
  if (!S.empty()) device_->Write(S);
  return static_cast<int>(S.size());
}

void TCommunicationSerialPortInterface::ClearOutput() {
  TWriteLock guard(Lock());
  device_->PurgeOutput();
}

// The scanner and the port map know COM1-COM255.
const TProviderKeys& TCommunicationSerialPortInterface::KeyRules() {
  static const TProviderKeys keys =
      LineKeyRules() + TProviderKeys{{"comport", TValueForm::Integer, 1, 255, DUOMAT_NOOP_EN("ConnectionString", "the COM port number"), true}};
  return keys;
}

bool TCommunicationSerialPortInterface::InternalSetConfiguration(const std::string& S) {
  TWriteLock guard(Lock());
  TCommunicationSerialInterface::InternalSetConfiguration(S);
  int32_t port = 0;
  if (GetConfigurationInteger(S, "comport", port)) DoSetPort(static_cast<uint16_t>(port));
  return true;
}

namespace {
template <class F>
bool Attempt(F&& f) {
  try {
    f();
    return true;
  } catch (...) {
    return false;
  }
}
}  // namespace

bool TCommunicationSerialPortInterface::DoSetBaudRate(uint32_t value) {
  return Attempt([&] { device_->SetBaudRate(value); });
}
bool TCommunicationSerialPortInterface::DoSetParity(int value) {
  if (value < NOPARITY || value > SPACEPARITY) return false;
  return Attempt([&] { device_->SetParity(value); });
}
bool TCommunicationSerialPortInterface::DoSetStopBits(int value) {
  if (value < ONESTOPBIT || value > TWOSTOPBITS) return false;
  return Attempt([&] { device_->SetStopBits(value); });
}
bool TCommunicationSerialPortInterface::DoSetDataBits(int value) {
  // The device's table holds 4 to 8; anything else never reaches the line.
  if (value < 4 || value > 8) return false;
  return Attempt([&] { device_->SetDataBits(value); });
}
bool TCommunicationSerialPortInterface::DoSetDTR(bool value) {
  return Attempt([&] { device_->SetDTR(value); });
}
bool TCommunicationSerialPortInterface::DoSetRTS(bool value) {
  return Attempt([&] { device_->SetRTS(value); });
}
bool TCommunicationSerialPortInterface::DoSetPort(int value) {
  std::lock_guard<std::mutex> lock(closeLock_);
  return Attempt([&] { device_->SetPort(value); });
}

uint32_t TCommunicationSerialPortInterface::ReadBaudRate() { return device_->Settings().BaudRate; }
int TCommunicationSerialPortInterface::ReadParity() { return device_->Settings().Parity; }
int TCommunicationSerialPortInterface::ReadStopBits() { return device_->Settings().StopBits; }
int TCommunicationSerialPortInterface::ReadDataBits() { return device_->Settings().DataBits; }
bool TCommunicationSerialPortInterface::ReadDTR() { return device_->GetDTR(); }
bool TCommunicationSerialPortInterface::ReadRTS() { return device_->GetRTS(); }
uint32_t TCommunicationSerialPortInterface::ReadModemStatus() { return device_->ModemStatus(); }
int TCommunicationSerialPortInterface::ReadOutBufSize() { return device_->GetOutBufSize(); }
void TCommunicationSerialPortInterface::WriteOutBufSize(int value) { device_->SetOutBufSize(value); }
int TCommunicationSerialPortInterface::ReadInBufSize() { return device_->GetInBufSize(); }
void TCommunicationSerialPortInterface::WriteInBufSize(int value) { device_->SetInBufSize(value); }

void TCommunicationSerialPortInterface::ReceiveHandler(int kind, uint32_t data) {
  // A handler below may drop the last reference; this one then frees us once
  // the handler has returned (the device lets a close on its own thread be).
  TSelfReference self(this);
  if (!self.Held()) return;
  if (kind == TComPortDevice::evLine) {
    static const struct {
      uint32_t event;
      uint32_t status;
      int line;
      const char* prefix;
    } lines[] = {{EV_CTS, MS_CTS_ON, LineCTS, "cts="},
                 {EV_DSR, MS_DSR_ON, LineDSR, "dsr="},
                 {EV_RING, MS_RING_ON, LineRing, "ring="},
                 {EV_RLSD, MS_RLSD_ON, LineRLSD, "rlsd="}};
    for (const auto& l : lines) {
      if (!(data & l.event)) continue;
      const bool state = device_->ModemStatus() & l.status;
      DoModemLineChange(l.line, state);
      DoConfigurationChange(std::string(l.prefix) + BooleanToStr(state));
    }
  }
  std::string received;
  // A close under way holds the lock: read nothing rather than wait for it.
  if (closeLock_.try_lock()) {
    try {
      received = device_->ReadAvailable();
    } catch (...) {
      received.clear();
    }
    closeLock_.unlock();
  }
  if (!received.empty()) DoReadString(received);
  if (kind == TComPortDevice::evLine && device_->Vanished()) SignalInput();
}

}  // namespace korvan::transport
