#pragma once
// The application-facing communication interface that stacks and module records talk to.
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "comm/uEventer.h"
#include "comm/uGuardedHandler.h"
#include "comm/uMethod.h"
#include "comm/uiNodedInterface.h"

// The transport layer has classes of the same names in korvan::transport;
// the two never meet.
namespace korvan::ci {

class ICommunicationInterface;

using TCiNotifyEvent = TMethod<void(ICommunicationInterface* Sender)>;
using TCiErrorEvent = TMethod<void(ICommunicationInterface* Sender, const std::string& Operation,
                                   const std::vector<std::string>& Args, int Code)>;
// Nothing raises the change notification; the signature only has to exist.
using TCiChangeEvent = TMethod<void(ICommunicationInterface* Sender, int OldValue, int NewValue, bool Flag)>;

// A zero result ends the wait of SendAndReceive.
using TCheckFunction = std::function<uint16_t(const std::string& received)>;

class TEventerCiNotify : public TEventer<void(ICommunicationInterface* Sender)> {};
class TEventerCiNotifyChangeEvent
    : public TEventer<void(ICommunicationInterface* Sender, int OldValue, int NewValue, bool Flag)> {};

class ICommunicationInterfaceCore : public virtual IInterface {
 public:
  virtual void SetOnDataRcv(TCiNotifyEvent handler) = 0;
  virtual TCiNotifyEvent GetOnDataRcv() = 0;
  virtual TEventerCiNotify* GetEventerDataRcv() = 0;
  virtual bool GetActive() = 0;
};

class ICommunicationInterface : public virtual ICommunicationInterfaceCore {
 public:
  virtual void SetActive(bool value) = 0;
  virtual bool GetConfigured() = 0;
  virtual void SetConfigured(bool value) = 0;
  virtual std::string GetConfiguration() = 0;
  virtual void SetConfiguration(const std::string& S) = 0;
  virtual TCiNotifyEvent GetOnOpen() = 0;
  virtual void SetOnOpen(TCiNotifyEvent handler) = 0;
  virtual TEventerCiNotify* GetEventerOpen() = 0;
  virtual TCiNotifyEvent GetOnClose() = 0;
  virtual void SetOnClose(TCiNotifyEvent handler) = 0;
  virtual TEventerCiNotify* GetEventerClose() = 0;
  virtual TEventerCiNotify* GetEventerConfiguration() = 0;
  virtual TCiErrorEvent GetOnError() = 0;
  virtual void SetOnError(TCiErrorEvent handler) = 0;
  virtual TEventerCiNotifyChangeEvent* GetEventerChange() = 0;
  virtual TCiChangeEvent GetOnChange() = 0;
  virtual void SetOnChange(TCiChangeEvent handler) = 0;
  virtual bool Open() = 0;
  virtual bool Close(bool Force) = 0;
  virtual std::string GetIdentity() = 0;
  // The count that the transport reports as written.
  virtual int Write(const std::string& Data) = 0;
  // Every received byte waiting, possibly none.
  virtual void Read(std::string& Data) = 0;
  virtual int InputCount() = 0;
  // Returns at once while bytes wait or the line is down; otherwise up to the
  // time-out for received bytes, a close or a lost line. Takes no lock for the
  // wait, so a caller that holds this interface's lock does not block receipt.
  virtual bool WaitForInput(uint32_t timeoutMs) = 0;
  virtual void ClearInput() = 0;
  virtual void ClearOutput() = 0;
  virtual void SendAndReceive(const std::string& Data, int Timeout, int GapTimeout, int TotalExtra, bool ClearIn,
                              bool ClearOut, const TCheckFunction& Check, const std::string& Prefix,
                              std::string& Response) = 0;
  virtual void SendAndReceiveDefault(const std::string& Data, int Timeout, const TCheckFunction& Check,
                                     std::string& Response) = 0;
  virtual double GetByteTimeFactor() = 0;
  virtual void BeginWrite() = 0;
  virtual void EndWrite() = 0;
  virtual void BeginRead() = 0;
  virtual void EndRead() = 0;
  virtual void* SpareQuery1() = 0;
  virtual void* SpareQuery2() = 0;
  virtual std::string GetDisplayName() = 0;
};

// The base of application-facing interfaces: notifications, the request and
// wait loop, and the spy hooks; the line itself is the subclass's.
class TCommunicationInterface : public TNodedInterface, public virtual ICommunicationInterface {
 public:
  explicit TCommunicationInterface(const std::string& ConnectionString = std::string());
  TCommunicationInterface(pugi::xml_node xmlNode, IInterface* parent);
  ~TCommunicationInterface() override;

  // The node's lock brackets; one override serves both interfaces.
  void BeginWrite() override { TNodedInterface::BeginWrite(); }
  void EndWrite() override { TNodedInterface::EndWrite(); }
  void BeginRead() override { TNodedInterface::BeginRead(); }
  void EndRead() override { TNodedInterface::EndRead(); }

  // ICommunicationInterfaceCore
  // The handler setters wait for a call of the old handler in progress on
  // another thread.
  void SetOnDataRcv(TCiNotifyEvent handler) override;
  TCiNotifyEvent GetOnDataRcv() override;
  TEventerCiNotify* GetEventerDataRcv() override { return &eventerDataRcv_; }
  bool GetActive() override = 0;

  // ICommunicationInterface
  void SetActive(bool value) override;
  bool GetConfigured() override;
  void SetConfigured(bool value) override;
  std::string GetConfiguration() override { return std::string(); }
  void SetConfiguration(const std::string& S) override;
  TCiNotifyEvent GetOnOpen() override;
  void SetOnOpen(TCiNotifyEvent handler) override;
  TEventerCiNotify* GetEventerOpen() override { return &eventerOpen_; }
  TCiNotifyEvent GetOnClose() override;
  void SetOnClose(TCiNotifyEvent handler) override;
  TEventerCiNotify* GetEventerClose() override { return &eventerClose_; }
  TEventerCiNotify* GetEventerConfiguration() override { return &eventerConfiguration_; }
  TCiErrorEvent GetOnError() override;
  void SetOnError(TCiErrorEvent handler) override;
  TEventerCiNotifyChangeEvent* GetEventerChange() override { return &eventerChange_; }
  TCiChangeEvent GetOnChange() override;
  void SetOnChange(TCiChangeEvent handler) override;
  bool Open() override;
  bool Close(bool Force) override;
  std::string GetIdentity() override = 0;
  int Write(const std::string& Data) override;
  void Read(std::string& Data) override;
  int InputCount() override = 0;
  // A line without a signal of its own looks again after the time-out.
  bool WaitForInput(uint32_t timeoutMs) override;
  void ClearInput() override = 0;
  void ClearOutput() override = 0;
  void SendAndReceive(const std::string& Data, int Timeout, int GapTimeout, int TotalExtra, bool ClearIn,
                      bool ClearOut, const TCheckFunction& Check, const std::string& Prefix,
                      std::string& Response) override;
  void SendAndReceiveDefault(const std::string& Data, int Timeout, const TCheckFunction& Check,
                             std::string& Response) override;
  double GetByteTimeFactor() override;
  void SetByteTimeFactor(double value);
  void* SpareQuery1() override { return nullptr; }
  void* SpareQuery2() override { return nullptr; }
  std::string GetDisplayName() override { return GetIdentity(); }

  // Node persistence adds "connectionstring".
  void LoadFromXML(pugi::xml_node node, bool take, bool alwaysGUID) override;
  void SaveToXML() override;

  // Raised by the line when data has arrived (on its receive thread).
  void DoDataRcv();
  void DoError(const std::string& Operation, const std::vector<std::string>& Args, int Code);

 protected:
  virtual bool InternalOpen() = 0;
  virtual bool InternalClose(bool Force) = 0;
  virtual int InternalWrite(const std::string& Data) = 0;
  virtual void InternalRead(std::string& Data) = 0;
  virtual bool InternalSetConfiguration(const std::string& S) = 0;
  virtual void SpyReceived(const std::string& /*Data*/) {}
  virtual void SpySent(const std::string& /*Data*/) {}

  void DoOpen();
  void DoClose();
  // Configuration and XML loading call into the subclass, so they wait
  // until the whole object exists.
  void Constructed() override;

 private:
  ICommunicationInterface* Self() { return this; }

  std::string pendingConfiguration_;
  pugi::xml_node pendingXml_;
  TRef<IInterface> pendingParent_;
  bool fromXml_ = false;
  std::mutex handlersMutex_;  // onChange_

  bool configured_ = false;
  double byteTimeFactor_ = 1.0;
  // Replacing or clearing one waits for its call in progress on another
  // thread, so that its owner may go right afterwards. Two handlers that
  // clear each other from their own calls would wait for each other: owners
  // clear their handlers from outside them.
  TGuardedHandler<TCiNotifyEvent> onDataRcv_;
  TGuardedHandler<TCiNotifyEvent> onOpen_;
  TGuardedHandler<TCiNotifyEvent> onClose_;
  TCiChangeEvent onChange_;  // never called
  TGuardedHandler<TCiErrorEvent> onError_;
  TEventerCiNotify eventerOpen_;
  TEventerCiNotify eventerClose_;
  TEventerCiNotify eventerDataRcv_;
  TEventerCiNotifyChangeEvent eventerChange_;
  TEventerCiNotify eventerConfiguration_;
};

}  // namespace korvan::ci
