#include "platform/uText.h"
#include "transports/hid/uCI_HIDInterface.h"

#include "comm/uci_ConnectionString.h"
#include "platform/uThreadName.h"
#include "transports/hid/uHidDeviceManager.h"

namespace korvan::transport {

TCommunicationHIDInterface::TCommunicationHIDInterface()
    : device_(CreateObject<THidDevice>()),
      pollThread_(std::make_unique<TThreadRunner>(
          TThreadRunner::TRunMethod::Bind<&TCommunicationHIDInterface::ReceiveLoop>(this))) {}

void TCommunicationHIDInterface::Constructed() {
  TCommunicationInternalBufferInterface::Constructed();
  // Started only now: the loop calls virtual methods of the whole object.
  pollThread_->Start();
}

TCommunicationHIDInterface::~TCommunicationHIDInterface() {
  pollThread_->Terminate();
  wake_.SetEvent();
  pollThread_->WaitFor();
  pollThread_.reset();
  device_->Attach(nullptr);
}

void TCommunicationHIDInterface::ReceiveLoop(TThreadRunner* runner) {
  NameThread("HID poll");
  while (!runner->Terminated()) {
    try {
      const TRef<IHidHandle> handle = device_->Handle();
      if (!handle || !handle->Plugged()) {
        // Nothing to read until a device is attached: sleep until then.
        wake_.WaitFor(INFINITE);
        continue;
      }
      handle->WaitReadable(PollIntervalMs);
      if (runner->Terminated()) break;
      const std::string data = device_->ReadAll();
      if (!data.empty()) DoReadString(data);
    } catch (...) {
      // A listener's failure must not end reception.
    }
  }
}

bool TCommunicationHIDInterface::GetActive() {
  TWriteLock guard(Lock());
  return device_->Active();
}

std::string TCommunicationHIDInterface::Keys() {
  return ";vid=" + std::to_string(vendorID_) + ";pid=" + std::to_string(productID_) +
         ";serial_number=" + serialNumber_;
}

std::string TCommunicationHIDInterface::GetConfiguration() {
  TReadLock guard(Lock());
  return TCommunicationInternalBufferInterface::GetConfiguration() + Keys();
}

std::string TCommunicationHIDInterface::GetIdentity() {
  TReadLock guard(Lock());
  return TCommunicationInternalBufferInterface::GetIdentity() + Keys();
}

bool TCommunicationHIDInterface::InternalOpen() {
  TWriteLock guard(Lock());
  InternalClose(false);
  THidDeviceManager& manager = THidDeviceManager::Manager();
  manager.Refresh();
  if (const TRef<THidDevice> entry = manager.Find(vendorID_, productID_, serialNumber_)) {
    if (device_->Attach(entry->Attached())) wake_.SetEvent();
  }
  return GetActive();
}

bool TCommunicationHIDInterface::InternalClose(bool) {
  TWriteLock guard(Lock());
  if (device_->Attached()) device_->Attach(nullptr);
  return true;
}

int TCommunicationHIDInterface::InternalWriteString(const std::string& S) {
  device_->Write(S);
  return static_cast<int>(S.size());
}

const TProviderKeys& TCommunicationHIDInterface::KeyRules() {
  static const TProviderKeys keys = {
      {"vid", TValueForm::Integer, 0, 65535, DUOMAT_NOOP_EN("ConnectionString", "the vendor ID, decimal or 0x hexadecimal"), true},
      {"pid", TValueForm::Integer, 0, 65535, DUOMAT_NOOP_EN("ConnectionString", "the product ID, decimal or 0x hexadecimal"), true},
      {"serial_number", TValueForm::Text},
  };
  return keys;
}

bool TCommunicationHIDInterface::InternalSetConfiguration(const std::string& S) {
  TWriteLock guard(Lock());
  int32_t n = 0;
  std::string text;
  if (GetConfigurationInteger(S, "vid", n)) vendorID_ = n;
  if (GetConfigurationInteger(S, "pid", n)) productID_ = n;
  if (GetConfigurationValue(S, "serial_number", text)) serialNumber_ = text;
  return true;
}

int32_t TCommunicationHIDInterface::GetVendorID() {
  TReadLock guard(Lock());
  return vendorID_;
}
void TCommunicationHIDInterface::SetVendorID(int32_t value) {
  TWriteLock guard(Lock());
  vendorID_ = value;
}
int32_t TCommunicationHIDInterface::GetProductID() {
  TReadLock guard(Lock());
  return productID_;
}
void TCommunicationHIDInterface::SetProductID(int32_t value) {
  TWriteLock guard(Lock());
  productID_ = value;
}
std::string TCommunicationHIDInterface::GetSerialNumber() {
  TReadLock guard(Lock());
  return serialNumber_;
}
void TCommunicationHIDInterface::SetSerialNumber(const std::string& value) {
  TWriteLock guard(Lock());
  serialNumber_ = value;
}
std::string TCommunicationHIDInterface::GetManufacturerString() {
  TReadLock guard(Lock());
  return device_->Manufacturer();
}
std::string TCommunicationHIDInterface::GetProductString() {
  TReadLock guard(Lock());
  return device_->Product();
}

}  // namespace korvan::transport
