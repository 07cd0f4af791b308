#pragma once
// The application-facing wrapper interface that drives a transport chosen by provider.
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "comm/uCI_CommunicationInterface.h"
#include "comm/uDispatcher.h"
#include "comm/uTimer.h"
#include "comm/uci_ConnectionString.h"
#include "comm/uci_ICommunicationInterfaceDataSpy.h"

namespace korvan::ci {

class ICommunicationWrapperInterface : public virtual ICommunicationInterface {
 public:
  virtual TRef<transport::ICommunicationInterface> GetTransport() = 0;
};

// The application-facing interface of this system: picks its transport by
// the string's provider, forwards every call to it, and delivers the
// transport's received-data and error reports on a receive thread of its own.
class TCommunicationWrapperInterface : public TCommunicationInterfaceDataSpy,
                                       public virtual ICommunicationWrapperInterface {
 public:
  // Carriage returns in the string stand for ";" (the line form, see ItemsToLines).
  explicit TCommunicationWrapperInterface(const std::string& ConnectionString = std::string());
  TCommunicationWrapperInterface(pugi::xml_node xmlNode, IInterface* parent);
  ~TCommunicationWrapperInterface() override;

  static const TCommunicationInterfaceClass Class;

  TRef<transport::ICommunicationInterface> GetTransport() override;

  void ShutDown() override;
  bool GetActive() override;
  std::string GetConfiguration() override;
  std::string GetIdentity() override;
  int InputCount() override;
  bool WaitForInput(uint32_t timeoutMs) override;
  void ClearInput() override;
  void ClearOutput() override;
  std::string GetDisplayName() override;

 protected:
  bool InternalOpen() override;
  bool InternalClose(bool Force) override;
  int InternalWrite(const std::string& Data) override;
  void InternalRead(std::string& Data) override;
  bool InternalSetConfiguration(const std::string& S) override;
  void BeforeDestruction() override;

 public:
  // Handlers in progress on the receive thread; shared so that a handler
  // during which the wrapper was destroyed can still leave safely.
  struct THandlerGate {
    std::mutex mutex;
    std::condition_variable cv;
    int active = 0;
    bool closed = false;
    std::thread::id thread;  // the receive thread, once a handler ran
    // A data-read notice is queued and has not run yet: later chunks add none.
    std::atomic<bool> readPending{false};

    bool Enter();
    void Leave();
    bool OnHandlerThread();
  };

 private:
  // On the transport's thread: queues one notice for however many chunks.
  void DataArrived(transport::ICommunicationInterface* Sender, const std::string& Data);
  void ReceiveHandler();
  void ErrorHandler(transport::ICommunicationInterface* Sender, const std::string& Operation,
                    const std::vector<std::string>& Args, int Code);
  void ReleaseTransport(bool force);
  // Stops new handler runs and waits for the one in progress (unless it is ours).
  void CloseHandlerGate();

  TRef<transport::ICommunicationInterface> transport_;
  std::string transportProvider_;  // the name transport_ was made for
  std::unique_ptr<TDispatcherThread> receiveDispatcher_;
  std::shared_ptr<THandlerGate> gate_ = std::make_shared<THandlerGate>();
};

// Windows (here: receivers) to notify around a reconnect of the Nexo wrapper.
class TProcessMsgList {
 public:
  using TReceiver = TMethod<void(int Message, IInterface* Sender, int Code)>;

  void Add(TReceiver receiver, int message);
  void Remove(TReceiver receiver, int message);
  int Count();
  // Sends each pair its message, in order, synchronously.
  void Notify(IInterface* Sender, int Code);

 private:
  std::mutex mutex_;
  std::vector<std::pair<TReceiver, int>> entries_;
};

// The message id registered under "NexoProcessMessage".
int NexoProcessMessage();

// A wrapper that reopens its line periodically when it is enabled and closed.
class TNexoCommunicationWrapperInterface : public TCommunicationWrapperInterface {
 public:
  static constexpr int ReconnectPeriodMs = 30000;

  using TCommunicationWrapperInterface::TCommunicationWrapperInterface;

  static const TCommunicationInterfaceClass Class;

  // Returns the milliseconds until it wants to be called again.
  int ProcessStep();
  TProcessMsgList* MessageList();
  int SpareOperation() { return 0; }

 private:
  TTimer reconnect_{};
  // Until the first attempt the timer counts as expired, whatever the tick
  // count (it may be below 30 s after boot, or have wrapped).
  bool reconnectStarted_ = false;
  std::mutex messageListMutex_;
  std::unique_ptr<TProcessMsgList> messageList_;
};

// The five provider names, each registered with TCommunicationWrapperInterface.
inline constexpr const char* WrapperProviders[] = {"SERIAL_PORT", "TCP_CLIENT", "UDP_CLIENT", "FTD_USB", "HID"};

// Registers the providers and the Nexo class; FinalizeWrapperModule removes them.
void InitializeWrapperModule();
void FinalizeWrapperModule();

// The class registry: (class name, class) pairs.
void RegisterClass(const TCommunicationInterfaceClass* cls);
void UnregisterClass(const std::string& className);
std::vector<const TCommunicationInterfaceClass*> RegisteredClasses();

}  // namespace korvan::ci
