#include "platform/uText.h"
#include "transports/ftdi/uCI_FTDIInterface.h"

#include "comm/uci_ConnectionString.h"

namespace korvan::transport {

namespace {
// True unless the converter refused (FTDI_Exception); the text is not shown.
template <class F>
bool Attempt(F&& f) {
  try {
    f();
    return true;
  } catch (const FTDI_Exception&) {
    return false;
  }
}
}  // namespace

TCommunicationFTDIInterface::TCommunicationFTDIInterface() : device_(std::make_unique<TFTDIDevice>()) {
  // No dispatcher and no owner: each event runs at once on the work thread.
  device_->DataReceivedSlot().SetHandler(
      TFTDIDeviceCoreDataReceivedEventSlot::THandler::Bind<&TCommunicationFTDIInterface::DataReceived>(this),
      nullptr, nullptr);
  device_->SignalChangedSlot().SetHandler(
      TFTDIDeviceCoreSignalChangedEventSlot::THandler::Bind<&TCommunicationFTDIInterface::SignalChanged>(this),
      nullptr, nullptr);
}

TCommunicationFTDIInterface::~TCommunicationFTDIInterface() {
  // The work thread ends here, while this object is still whole.
  device_.reset();
}

bool TCommunicationFTDIInterface::GetActive() {
  TReadLock guard(Lock());
  return device_->IsOpen();
}

std::string TCommunicationFTDIInterface::GetConfiguration() {
  TReadLock guard(Lock());
  return TCommunicationSerialInterface::GetConfiguration() + ";serial_number=" + device_->Core().SerialNumber();
}

std::string TCommunicationFTDIInterface::GetIdentity() {
  TReadLock guard(Lock());
  return "FTD_USB;serial_number=" + device_->Core().SerialNumber();
}

std::string TCommunicationFTDIInterface::GetSerialNumber() {
  TReadLock guard(Lock());
  return device_->Core().SerialNumber();
}

void TCommunicationFTDIInterface::SetSerialNumber(const std::string& value) {
  TWriteLock guard(Lock());
  if (DoSetSerialNumber(value))
    DoConfigurationChange("serial_number=" + value);
  else
    DoError("SetSerialNumber", {value}, 0);
}

void TCommunicationFTDIInterface::ClearOutput() {
  TWriteLock guard(Lock());
  Attempt([&] { device_->Purge(); });  // a failure is not reported
}

bool TCommunicationFTDIInterface::InternalOpen() {
  if (device_->Core().SerialNumber().empty()) {
    // Nothing is opened by chance: say why the open fails.
    DoError("InternalOpen", {"no serial number"}, FT_DEVICE_NOT_FOUND);
    return false;
  }
  try {
    device_->Open();
  } catch (...) {
    return false;
  }
  return device_->IsOpen();
}

bool TCommunicationFTDIInterface::InternalClose(bool) {
  return Attempt([&] { device_->Close(); });
}

int TCommunicationFTDIInterface::InternalWriteString(const std::string& S) {
  // A closed converter or a failed write: nothing written (and now closed).
  return Attempt([&] { device_->Write(S); }) ? static_cast<int>(S.size()) : 0;
}

const TProviderKeys& TCommunicationFTDIInterface::KeyRules() {
  static const TProviderKeys keys =
      TProviderKeys{{"serial_number", TValueForm::Text, 0, 0, DUOMAT_NOOP_EN("ConnectionString", "the converter's serial number"), true}} + LineKeyRules();
  return keys;
}

bool TCommunicationFTDIInterface::InternalSetConfiguration(const std::string& S) {
  TWriteLock guard(Lock());
  std::string serial;
  if (GetConfigurationValue(S, "serial_number", serial)) DoSetSerialNumber(serial);
  TCommunicationSerialInterface::InternalSetConfiguration(S);
  return true;
}

bool TCommunicationFTDIInterface::DoSetSerialNumber(const std::string& value) {
  return Attempt([&] { device_->SetSerialNumber(value); });
}

bool TCommunicationFTDIInterface::DoSetBaudRate(uint32_t value) {
  return Attempt([&] { device_->SetBaudRate(value); });
}

bool TCommunicationFTDIInterface::DoSetParity(int value) {
  // The library numbers parity as the serial line does; another code is
  // refused, not taken as none.
  if (value < NOPARITY || value > SPACEPARITY) return false;
  return Attempt([&] { device_->SetParity(static_cast<uint8_t>(value)); });
}

bool TCommunicationFTDIInterface::DoSetStopBits(int value) {
  // The library has one (0) and two (2); one and a half becomes two.
  if (value != ONESTOPBIT && value != ONE5STOPBITS && value != TWOSTOPBITS) return false;
  const uint8_t stopBits = value == ONESTOPBIT ? 0 : 2;
  return Attempt([&] { device_->SetStopBits(stopBits); });
}

bool TCommunicationFTDIInterface::DoSetDataBits(int value) {
  return Attempt([&] { device_->SetWordLength(static_cast<uint8_t>(value)); });
}

bool TCommunicationFTDIInterface::DoSetDTR(bool value) {
  return Attempt([&] { device_->SetDTR(value); });
}

bool TCommunicationFTDIInterface::DoSetRTS(bool value) {
  return Attempt([&] { device_->SetRTS(value); });
}

uint32_t TCommunicationFTDIInterface::ReadBaudRate() { return device_->Core().BaudRate(); }
int TCommunicationFTDIInterface::ReadParity() { return device_->Core().Parity(); }
int TCommunicationFTDIInterface::ReadStopBits() { return device_->Core().StopBits() == 2 ? TWOSTOPBITS : ONESTOPBIT; }
int TCommunicationFTDIInterface::ReadDataBits() { return device_->Core().WordLength(); }
bool TCommunicationFTDIInterface::ReadDTR() { return device_->Core().DTR(); }
bool TCommunicationFTDIInterface::ReadRTS() { return device_->Core().RTS(); }

uint32_t TCommunicationFTDIInterface::ReadModemStatus() {
  uint32_t status = 0;
  // Every line false when that fails (a closed converter).
  return Attempt([&] { status = device_->ModemStatus(); }) ? status : 0;
}

int TCommunicationFTDIInterface::ReadOutBufSize() { return static_cast<int>(device_->Core().OutTransferSize()); }
void TCommunicationFTDIInterface::WriteOutBufSize(int value) {
  Attempt([&] { device_->SetOutTransferSize(static_cast<uint32_t>(value)); });
}
int TCommunicationFTDIInterface::ReadInBufSize() { return static_cast<int>(device_->Core().InTransferSize()); }
void TCommunicationFTDIInterface::WriteInBufSize(int value) {
  Attempt([&] { device_->SetInTransferSize(static_cast<uint32_t>(value)); });
}

void TCommunicationFTDIInterface::DataReceived(TFTDIDevice*, const std::string& Data) { DoReadString(Data); }

void TCommunicationFTDIInterface::SignalChanged(TFTDIDevice*, int Line, bool State) {
  DoModemLineChange(Line, State);
  DoConfigurationChange(std::string(FTDILineName(Line)) + "=" + BooleanToStr(State));
}

}  // namespace korvan::transport
