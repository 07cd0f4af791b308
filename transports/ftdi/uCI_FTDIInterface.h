#pragma once
// The FTDI USB serial converter transport (provider "FTD_USB") and its keys.
#include <memory>
#include <string>

#include "transports/serial/uCI_SerialPortInterface.h"
#include "transports/ftdi/uFTDIDevice.h"

namespace korvan::transport {

// A USB serial converter chosen by its serial number, provider "FTD_USB",
// on the D2XX access layer. Settings made while closed are applied at open.
class TCommunicationFTDIInterface : public TCommunicationSerialInterface {
 public:
  // The converter's serial number, then the line keys.
  static const TProviderKeys& KeyRules();

  TCommunicationFTDIInterface();
  ~TCommunicationFTDIInterface() override;

  bool GetActive() override;
  std::string GetConfiguration() override;
  std::string GetIdentity() override;
  std::string GetProvider() override { return "FTD_USB"; }
  void ClearOutput() override;

  std::string GetSerialNumber();
  void SetSerialNumber(const std::string& value);

  TFTDIDevice& Device() { return *device_; }

 protected:
  bool InternalOpen() override;
  bool InternalClose(bool Force) override;
  int InternalWriteString(const std::string& S) override;
  bool InternalSetConfiguration(const std::string& S) override;

  bool DoSetBaudRate(uint32_t value) override;
  bool DoSetParity(int value) override;
  bool DoSetStopBits(int value) override;
  bool DoSetDataBits(int value) override;
  bool DoSetDTR(bool value) override;
  bool DoSetRTS(bool value) override;
  virtual bool DoSetSerialNumber(const std::string& value);

  uint32_t ReadBaudRate() override;
  int ReadParity() override;
  int ReadStopBits() override;
  int ReadDataBits() override;
  bool ReadDTR() override;
  bool ReadRTS() override;
  uint32_t ReadModemStatus() override;
  int ReadOutBufSize() override;
  void WriteOutBufSize(int value) override;
  int ReadInBufSize() override;
  void WriteInBufSize(int value) override;

 private:
  // Both run on the device's work thread.
  void DataReceived(TFTDIDevice* Device, const std::string& Data);
  void SignalChanged(TFTDIDevice* Device, int Line, bool State);

  std::unique_ptr<TFTDIDevice> device_;
};

}  // namespace korvan::transport
