#pragma once
// The transport layer's communication interface, from which every transport derives.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <functional>
#include <string>
#include <vector>

#include "comm/uCI_CommunicationInterfaceUtils.h"
#include "comm/uSynchronizer.h"
#include "comm/ui_MyInterfacedObject.h"

// The application-facing classes of the same names live in korvan::ci.
namespace korvan::transport {

// A true result ends the wait of SendAndReceive.
using TCheckFunction = std::function<bool(const std::string& received)>;

class ICommunicationInterface : public virtual IInterface {
 public:
  virtual bool GetActive() = 0;
  virtual void SetActive(bool value) = 0;
  virtual std::string GetConfiguration() = 0;
  virtual void SetConfiguration(const std::string& S) = 0;
  virtual bool Open() = 0;
  virtual bool Close(bool Force) = 0;
  virtual std::string GetIdentity() = 0;
  virtual std::string GetProvider() = 0;
  virtual int WriteString(const std::string& S) = 0;
  virtual void ReadString(std::string& S) = 0;
  virtual int InputCount() = 0;
  virtual void ClearInput() = 0;
  virtual void ClearOutput() = 0;
  // Returns at once while bytes wait or the line is down; otherwise waits up
  // to the time-out for received bytes, a close or a lost line. True when
  // woken rather than timed out: the caller looks again either way.
  virtual bool WaitForInput(uint32_t timeoutMs) = 0;
  virtual void SendAndReceive(const std::string& Data, int Timeout, int GapTimeout, int TotalExtra, bool ClearIn,
                              bool ClearOut, const TCheckFunction& Check, const std::string& Prefix,
                              std::string& Response) = 0;
  virtual TCINotifyEventSlotList* GetOpenedSlots() = 0;
  virtual TCINotifyEventSlotList* GetClosedSlots() = 0;
  virtual TCINotifyStringEventSlotList* GetDataReadSlots() = 0;
  virtual TCINotifyStringEventSlotList* GetDataWrittenSlots() = 0;
  virtual TCINotifyStringEventSlotList* GetConfigurationSlots() = 0;
  virtual TCINotifyErrorEventSlotList* GetErrorSlots() = 0;
  virtual void BeginWrite() = 0;
  virtual void EndWrite() = 0;
  virtual void BeginRead() = 0;
  virtual void EndRead() = 0;
};

// The base of every transport: locking, the order of notifications and error
// reports. A transport supplies the Internal steps and calls DoReadString
// from its receive path.
class TCommunicationInterface : public TMyInterfacedObject, public virtual ICommunicationInterface {
 public:
  TCommunicationInterface();
  ~TCommunicationInterface() override;

  bool GetActive() override = 0;
  void SetActive(bool value) override;
  std::string GetConfiguration() override;
  void SetConfiguration(const std::string& S) override;
  bool Open() override;
  bool Close(bool Force) override;
  std::string GetIdentity() override;
  std::string GetProvider() override = 0;
  int WriteString(const std::string& S) override;
  void ReadString(std::string& S) override;
  int InputCount() override = 0;
  void ClearInput() override = 0;
  void ClearOutput() override = 0;
  bool WaitForInput(uint32_t timeoutMs) override;
  void SendAndReceive(const std::string& Data, int Timeout, int GapTimeout, int TotalExtra, bool ClearIn,
                      bool ClearOut, const TCheckFunction& Check, const std::string& Prefix,
                      std::string& Response) override;
  TCINotifyEventSlotList* GetOpenedSlots() override;
  TCINotifyEventSlotList* GetClosedSlots() override;
  TCINotifyStringEventSlotList* GetDataReadSlots() override;
  TCINotifyStringEventSlotList* GetDataWrittenSlots() override;
  TCINotifyStringEventSlotList* GetConfigurationSlots() override;
  TCINotifyErrorEventSlotList* GetErrorSlots() override;
  void BeginWrite() override { lock_.BeginWrite(true); }
  void EndWrite() override { lock_.EndWrite(); }
  void BeginRead() override { lock_.BeginRead(); }
  void EndRead() override { lock_.EndRead(); }

  double GetByteTimeFactor();
  // A forced close is waiting for the lock or running.
  bool Closing() const { return closing_.load(); }

 protected:
  virtual bool InternalOpen() = 0;
  virtual bool InternalClose(bool Force) = 0;
  virtual void InternalReadString(std::string& S) = 0;
  virtual int InternalWriteString(const std::string& S) = 0;
  virtual bool InternalSetConfiguration(const std::string& S) = 0;

  virtual void DoOpen();
  virtual void DoClose();
  virtual void DoReadString(const std::string& S);
  virtual void DoWriteString(const std::string& S);
  virtual void DoError(const std::string& Operation, const std::vector<std::string>& Args, int Code);
  virtual void DoConfigurationChange(const std::string& S);

  void SetByteTimeFactor(double value);
  // Wakes WaitForInput: received bytes, a close, a line that went. Takes no
  // lock but its own, so any thread may call it while holding any lock.
  void SignalInput();
  void Constructed() override;
  TMultiReadExclusiveWriteSynchronizerExtended& Lock() { return lock_; }
  ICommunicationInterface* Self() { return this; }

 private:
  TMultiReadExclusiveWriteSynchronizerExtended lock_;
  double byteTimeFactor_ = 1.0;
  std::atomic<bool> closing_{false};
  std::mutex inputMutex_;
  std::condition_variable inputSignal_;
  uint64_t inputSignals_ = 0;  // counted, so a signal between look and wait is not lost
  TCINotifyEventSlotList openedSlots_;
  TCINotifyEventSlotList closedSlots_;
  TCINotifyStringEventSlotList dataReadSlots_;
  TCINotifyStringEventSlotList dataWrittenSlots_;
  TCINotifyErrorEventSlotList errorSlots_;
  TCINotifyStringEventSlotList configurationSlots_;
};

}  // namespace korvan::transport
