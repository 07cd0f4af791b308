#pragma once
// The USB HID transport (provider "HID") and its keys.
#include <cstdint>
#include <memory>
#include <string>

#include "comm/uCI_InternalBufferCommunicationInterface.h"
#include "comm/uThreadRunner.h"
#include "platform/uEvent.h"
#include "transports/hid/uHidDevice.h"
#include "transports/uTransportKeys.h"

namespace korvan::transport {

// A device on USB HID, provider "HID", chosen by the keys "vid", "pid" and
// "serial_number" (empty: any). Bytes travel in reports of this system's own
// framing (see THidDevice::Write).
class TCommunicationHIDInterface : public TCommunicationInternalBufferInterface {
 public:
  // The keys InternalSetConfiguration applies, in its order.
  static const TProviderKeys& KeyRules();

  // The longest wait of the receive thread on an open device.
  static constexpr int PollIntervalMs = 10;

  TCommunicationHIDInterface();
  ~TCommunicationHIDInterface() override;

  bool GetActive() override;
  std::string GetConfiguration() override;
  std::string GetIdentity() override;
  std::string GetProvider() override { return "HID"; }
  void ClearOutput() override {}

  int32_t GetVendorID();
  void SetVendorID(int32_t value);
  int32_t GetProductID();
  void SetProductID(int32_t value);
  std::string GetSerialNumber();
  void SetSerialNumber(const std::string& value);
  // Of the attached device; empty when none is attached.
  std::string GetManufacturerString();
  std::string GetProductString();
  THidDevice& Device() { return *device_; }

 protected:
  bool InternalOpen() override;
  bool InternalClose(bool Force) override;
  // The full length whatever happens to the reports.
  int InternalWriteString(const std::string& S) override;
  bool InternalSetConfiguration(const std::string& S) override;
  void Constructed() override;

 private:
  std::string Keys();
  void ReceiveLoop(TThreadRunner* runner);

  TRef<THidDevice> device_;
  int32_t vendorID_ = 0;
  int32_t productID_ = 0;
  std::string serialNumber_;
  TEvent wake_{false, false};  // a device was attached, or the thread must end
  std::unique_ptr<TThreadRunner> pollThread_;
};

}  // namespace korvan::transport
