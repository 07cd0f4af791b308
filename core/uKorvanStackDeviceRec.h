#pragma once
// A module record: one module's connection string, interface and the stack carrying its device.
#include <string>

#include "comm/uSynchronizer.h"
#include "comm/uci_ConnectionString.h"
#include "comm/uci_ICommunicationInterface.h"
#include "protocol/uKorvanStack.h"
#include "protocol/uKorvanStackDevice.h"

namespace duomat {

using korvan::TRef;

// Ties one module to its connection: keeps the connection string, creates
// and opens the interface when asked to connect, and attaches it to the
// stack that carries the module's device. The two records differ only in
// the device they create.
template <class TDeviceClass, class IDevice>
class TKorvanStackDeviceRec {
 public:
  // The address a record starts at; the operator may point it at any other.
  static constexpr uint8_t ModuleAddress = 0x31;

  explicit TKorvanStackDeviceRec(const std::string& lockName) : lock_(lockName) {
    device_ = korvan::CreateObject<TDeviceClass>(ModuleAddress);
    TRef<korvan::TKorvanStack> stack = korvan::CreateObject<korvan::TKorvanStack>();
    device_->SetStack(stack.get());
  }

  ~TKorvanStackDeviceRec() {
    try {
      Disconnect();
      if (TRef<korvan::IKorvanStack> stack = device_->GetStack()) stack->SetCommInterface(nullptr);
      device_->SetStack(nullptr);
    } catch (...) {
    }
    device_ = nullptr;
  }

  TKorvanStackDeviceRec(const TKorvanStackDeviceRec&) = delete;
  TKorvanStackDeviceRec& operator=(const TKorvanStackDeviceRec&) = delete;

  // Creates the interface from the connection string, opens it and attaches
  // it to the stack. An interface that failed to open stays, unattached,
  // until the next Disconnect.
  bool Connect() {
    korvan::TWriteLock guard(lock_);
    Disconnect();
    TRef<korvan::ci::ICommunicationInterface> created;
    if (!korvan::CreateCommunicationInterface(connectionString_, created)) return false;
    comm_ = created;
    const bool opened = comm_->Open();
    if (opened)
      if (TRef<korvan::IKorvanStack> stack = device_->GetStack()) stack->SetCommInterface(comm_.get());
    return opened;
  }

  void Disconnect() {
    korvan::TWriteLock guard(lock_);
    if (TRef<korvan::IKorvanStack> stack = device_->GetStack()) {
      if (TRef<korvan::ci::ICommunicationInterface> attached = stack->GetCommInterface()) attached->Close(false);
      stack->SetCommInterface(nullptr);
    }
    comm_ = nullptr;
  }

  bool IsConnected() {
    korvan::TReadLock guard(lock_);
    TRef<korvan::IKorvanStack> stack = device_->GetStack();
    if (!stack) return false;
    TRef<korvan::ci::ICommunicationInterface> attached = stack->GetCommInterface();
    return attached && attached->GetActive();
  }

  void SetConnectionString(const std::string& text) {
    korvan::TWriteLock guard(lock_);
    connectionString_ = text;
    Disconnect();
  }

  std::string GetConnectionString() {
    korvan::TReadLock guard(lock_);
    return connectionString_;
  }

  // The address the module's requests go to, 0x00 to 0xFD.
  void SetModuleAddress(uint8_t address) { device_->SetAdr(address); }
  uint8_t GetModuleAddress() const { return device_->GetAdr(); }

  // The device, for the module's operations.
  const TRef<IDevice>& Device() const { return device_; }
  // The interface made by the last Connect, attached or not.
  TRef<korvan::ci::ICommunicationInterface> CommInterface() {
    korvan::TReadLock guard(lock_);
    return comm_;
  }

 private:
  korvan::TMultiReadExclusiveWriteSynchronizerExtended lock_;
  std::string connectionString_;
  TRef<IDevice> device_;
  TRef<korvan::ci::ICommunicationInterface> comm_;
};

}  // namespace duomat
