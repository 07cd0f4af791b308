#pragma once
// The serial-line transports' base and the COM port transport (provider "SERIAL_PORT").
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "comm/uCI_InternalBufferCommunicationInterface.h"
#include "comm/uMethod.h"
#include "transports/serial/uComPortDevice.h"
#include "transports/uTransportKeys.h"

namespace korvan::transport {

enum : int { NOPARITY = 0, ODDPARITY = 1, EVENPARITY = 2, MARKPARITY = 3, SPACEPARITY = 4 };
enum : int { ONESTOPBIT = 0, ONE5STOPBITS = 1, TWOSTOPBITS = 2 };
// Line codes of modem-line events.
enum : int { LineRTS = 0, LineCTS = 1, LineDTR = 2, LineDSR = 3, LineRing = 4, LineRLSD = 5 };

// Written and read forms of parity and stop bits (an unknown code as its
// number); false for a word that is not recognised.
std::string ParityWord(int parity);
std::string StopBitsWord(int stopBits);
bool ParseParityWord(const std::string& word, int& parity);
bool ParseStopBitsWord(const std::string& word, int& stopBits);

class TCommunicationSerialInterface;
using TModemLineEvent = TMethod<void(TCommunicationSerialInterface* Sender, int Line, bool State)>;

// What every serial line shares: the settings, their keys and words, the
// public setters with their reports, and the configuration string.
class TCommunicationSerialInterface : public TCommunicationInternalBufferInterface {
 public:
  // The keys every serial line applies (InternalSetConfiguration, in its order).
  static const TProviderKeys& LineKeyRules();

  std::string GetConfiguration() override;

  uint32_t GetBaudRate();
  void SetBaudRate(uint32_t value);
  bool GetRTS();
  void SetRTS(bool value);
  bool GetDTR();
  void SetDTR(bool value);
  bool GetCTS();
  bool GetDSR();
  bool GetRing();
  bool GetRLSD();
  int GetStopBits();
  void SetStopBits(int value);
  int GetParity();
  void SetParity(int value);
  int GetDataBits();
  void SetDataBits(int value);
  int GetOutBufSize();
  void SetOutBufSize(int value);
  int GetInBufSize();
  void SetInBufSize(int value);
  TModemLineEvent GetOnModemLine();
  void SetOnModemLine(TModemLineEvent handler);

 protected:
  virtual bool DoSetBaudRate(uint32_t value) = 0;
  virtual bool DoSetParity(int value) = 0;
  virtual bool DoSetStopBits(int value) = 0;
  virtual bool DoSetDataBits(int value) = 0;
  virtual bool DoSetDTR(bool value) = 0;
  virtual bool DoSetRTS(bool value) = 0;
  virtual void DoModemLineChange(int line, bool state);

  virtual uint32_t ReadBaudRate() = 0;
  virtual int ReadParity() = 0;
  virtual int ReadStopBits() = 0;
  virtual int ReadDataBits() = 0;
  virtual bool ReadDTR() = 0;
  virtual bool ReadRTS() = 0;
  virtual uint32_t ReadModemStatus() = 0;
  virtual int ReadOutBufSize() = 0;
  virtual void WriteOutBufSize(int value) = 0;
  virtual int ReadInBufSize() = 0;
  virtual void WriteInBufSize(int value) = 0;

  // Applies the serial keys through the device setters, quietly.
  bool InternalSetConfiguration(const std::string& S) override;

 private:
  std::mutex modemMutex_;
  TModemLineEvent onModemLine_;
};

// A local COM port, provider "SERIAL_PORT".
class TCommunicationSerialPortInterface : public TCommunicationSerialInterface {
 public:
  // The line keys and the port number.
  static const TProviderKeys& KeyRules();

  TCommunicationSerialPortInterface();
  ~TCommunicationSerialPortInterface() override;

  bool GetActive() override;
  std::string GetConfiguration() override;
  std::string GetIdentity() override;
  std::string GetProvider() override { return "SERIAL_PORT"; }
  int InputCount() override;
  void ClearOutput() override;

  int GetPort();
  void SetPort(int value);

  // The device (tests use it to look at the transmit buffer).
  TComPortDevice& Device() { return *device_; }

 protected:
  bool InternalOpen() override;
  bool InternalClose(bool Force) override;
  void InternalReadString(std::string& S) override;
  int InternalWriteString(const std::string& S) override;
  bool InternalSetConfiguration(const std::string& S) override;

  bool DoSetBaudRate(uint32_t value) override;
  bool DoSetParity(int value) override;
  bool DoSetStopBits(int value) override;
  bool DoSetDataBits(int value) override;
  bool DoSetDTR(bool value) override;
  bool DoSetRTS(bool value) override;
  virtual bool DoSetPort(int value);

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
  void ReceiveHandler(int kind, uint32_t data);
  // Closes the device quietly when it has gone (an unplugged adapter).
  void CheckPortHealth();

  std::unique_ptr<TComPortDevice> device_;
  std::mutex closeLock_;
};

}  // namespace korvan::transport
