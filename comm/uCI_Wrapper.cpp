#include "comm/uCI_Wrapper.h"

#include <algorithm>
#include <functional>
#include <mutex>

#include "comm/uCI_ProviderRegistry.h"
#include "comm/uObjectDestroyer.h"
#include "platform/uThreadName.h"

namespace korvan::ci {

namespace {
using TStringHandler = transport::TCINotifyStringEvent;
using TErrorHandler = transport::TCINotifyErrorEvent;

std::mutex g_classMutex;
std::vector<const TCommunicationInterfaceClass*> g_classes;

template <class T>
TRef<ICommunicationInterface> CreateFromString(const std::string& connectionString) {
  return TRef<ICommunicationInterface>(CreateObject<T>(connectionString).get());
}

// None when its thread cannot start (out of threads): the wrapper then opens nothing.
std::unique_ptr<TDispatcherThread> StartDispatcher() {
  try {
    return std::make_unique<TDispatcherThread>();
  } catch (const std::exception&) {
    return nullptr;
  }
}
}  // namespace

const TCommunicationInterfaceClass TCommunicationWrapperInterface::Class = {
    "TCommunicationWrapperInterface", &CreateFromString<TCommunicationWrapperInterface>};
const TCommunicationInterfaceClass TNexoCommunicationWrapperInterface::Class = {
    "TNexoCommunicationWrapperInterface", &CreateFromString<TNexoCommunicationWrapperInterface>};

TCommunicationWrapperInterface::TCommunicationWrapperInterface(const std::string& ConnectionString)
    : TCommunicationInterfaceDataSpy(LinesToItems(ConnectionString)), receiveDispatcher_(StartDispatcher()) {}

TCommunicationWrapperInterface::TCommunicationWrapperInterface(pugi::xml_node xmlNode, IInterface* parent)
    : TCommunicationInterfaceDataSpy(xmlNode, parent), receiveDispatcher_(StartDispatcher()) {}

TCommunicationWrapperInterface::~TCommunicationWrapperInterface() {
  // Normally done in BeforeDestruction; here for a constructor that failed.
  CloseHandlerGate();
  ReleaseTransport(true);
  if (receiveDispatcher_) {
    receiveDispatcher_->Queue()->Clear();
    DestroyLater(std::move(receiveDispatcher_));
  }
}

namespace {
// Run by the receive dispatcher after everything queued before it.
class TBarrierEvent : public TDispatcherEvent {
 public:
  explicit TBarrierEvent(std::shared_ptr<TEvent> done) : done_(std::move(done)) {}
  void Execute() override { done_->SetEvent(); }

 private:
  std::shared_ptr<TEvent> done_;
};
}  // namespace

void TCommunicationWrapperInterface::BeforeDestruction() {
  // Listeners hear of the wrapper while its transport is still in place.
  TCommunicationInterfaceDataSpy::BeforeDestruction();
  CloseHandlerGate();
  ReleaseTransport(true);
  if (!receiveDispatcher_) return;
  receiveDispatcher_->Queue()->Clear();
  if (!gate_->OnHandlerThread()) {
    // An event already taken from the queue may not have reached its handler
    // yet; once the barrier has run, nothing of ours is in flight. The gate is
    // closed, so whatever runs before it returns at once.
    auto done = std::make_shared<TEvent>(true, false);
    receiveDispatcher_->Queue()->Push(std::make_unique<TBarrierEvent>(done));
    done->WaitFor(INFINITE);
  }
  // Stopping the dispatcher waits for its thread, which may be this one.
  DestroyLater(std::move(receiveDispatcher_));
}

bool TCommunicationWrapperInterface::THandlerGate::Enter() {
  std::lock_guard<std::mutex> lock(mutex);
  if (closed) return false;
  ++active;
  thread = std::this_thread::get_id();
  return true;
}

void TCommunicationWrapperInterface::THandlerGate::Leave() {
  std::lock_guard<std::mutex> lock(mutex);
  --active;
  cv.notify_all();
}

bool TCommunicationWrapperInterface::THandlerGate::OnHandlerThread() {
  std::lock_guard<std::mutex> lock(mutex);
  return thread == std::this_thread::get_id();
}

void TCommunicationWrapperInterface::CloseHandlerGate() {
  std::shared_ptr<THandlerGate> gate = gate_;
  std::unique_lock<std::mutex> lock(gate->mutex);
  gate->closed = true;
  const bool onHandlerThread = gate->thread == std::this_thread::get_id();
  gate->cv.wait(lock, [&] { return gate->active <= (onHandlerThread ? 1 : 0); });
}

void TCommunicationWrapperInterface::ReleaseTransport(bool force) {
  TRef<transport::ICommunicationInterface> old;
  {
    TWriteLock guard(Lock());
    old = std::move(transport_);
  }
  if (!old) return;
  try {
    old->Close(force);
  } catch (...) {
  }
  old->GetDataReadSlots()->Clear(true);
  old->GetErrorSlots()->Clear(true);
}

TRef<transport::ICommunicationInterface> TCommunicationWrapperInterface::GetTransport() {
  TReadLock guard(Lock());
  return transport_;
}

void TCommunicationWrapperInterface::ShutDown() {
  InternalClose(true);
  TCommunicationInterfaceDataSpy::ShutDown();
}

bool TCommunicationWrapperInterface::GetActive() {
  TReadLock guard(Lock());
  return transport_ && transport_->GetActive();
}

std::string TCommunicationWrapperInterface::GetConfiguration() {
  TReadLock guard(Lock());
  return transport_ ? transport_->GetConfiguration() : std::string();
}

std::string TCommunicationWrapperInterface::GetIdentity() {
  TReadLock guard(Lock());
  return transport_ ? transport_->GetIdentity() : std::string();
}

int TCommunicationWrapperInterface::InputCount() {
  TReadLock guard(Lock());
  return transport_ ? transport_->InputCount() : 0;
}

bool TCommunicationWrapperInterface::WaitForInput(uint32_t timeoutMs) {
  // Our lock is not held over the wait: a close must get through.
  TRef<transport::ICommunicationInterface> transport = GetTransport();
  return !transport || transport->WaitForInput(timeoutMs);
}

void TCommunicationWrapperInterface::ClearInput() {
  TWriteLock guard(Lock());
  if (transport_) transport_->ClearInput();
}

void TCommunicationWrapperInterface::ClearOutput() {
  TWriteLock guard(Lock());
  if (transport_) transport_->ClearOutput();
}

std::string TCommunicationWrapperInterface::GetDisplayName() {
  TReadLock guard(Lock());
  return transport_ ? "WrapperCI: " + transport_->GetIdentity() : std::string("WrapperCI: Empty");
}

bool TCommunicationWrapperInterface::InternalOpen() {
  TWriteLock guard(Lock());
  // Without its receive thread nothing received would be heard of.
  return transport_ && receiveDispatcher_ && transport_->Open();
}

bool TCommunicationWrapperInterface::InternalClose(bool) {
  // The force is not passed on: an application close is an orderly one.
  TWriteLock guard(Lock());
  return transport_ && transport_->Close(false);
}

int TCommunicationWrapperInterface::InternalWrite(const std::string& Data) {
  TWriteLock guard(Lock());
  return transport_ ? transport_->WriteString(Data) : 0;
}

void TCommunicationWrapperInterface::InternalRead(std::string& Data) {
  TWriteLock guard(Lock());
  Data.clear();
  if (transport_) transport_->ReadString(Data);
}

bool TCommunicationWrapperInterface::InternalSetConfiguration(const std::string& S) {
  TWriteLock guard(Lock());
  std::string provider;
  if (!GetConfigurationValue(S, "provider", provider)) provider.clear();
  // Compared with the name it was made for: a transport may call itself otherwise.
  if (!transport_ || transportProvider_ != provider) {
    if (TRef<transport::ICommunicationInterface> old = std::move(transport_)) {
      old->Close(false);
      old->GetDataReadSlots()->Clear(true);
      old->GetErrorSlots()->Clear(true);
    }
    transportProvider_ = provider;
    try {
      transport_ = CreateTransport(provider);
    } catch (...) {
      // A factory that failed (a thread that did not start) leaves no transport.
      transport_ = nullptr;
    }
  }
  SetConfigured(static_cast<bool>(transport_));
  if (!transport_) return false;
  transport_->SetConfiguration(S);
  if (!receiveDispatcher_) return true;
  TDispatcherQueue* queue = receiveDispatcher_->Queue();
  // Run at once: it only queues, and merges with a notice already queued.
  transport_->GetDataReadSlots()->Subscribe(TStringHandler::Bind<&TCommunicationWrapperInterface::DataArrived>(this),
                                            nullptr, nullptr);
  transport_->GetErrorSlots()->Subscribe(TErrorHandler::Bind<&TCommunicationWrapperInterface::ErrorHandler>(this),
                                         nullptr, queue);
  return true;
}

namespace {
// One admitted handler run; leaves the gate even when the wrapper went
// during the run (the gate is shared).
class TGatePass {
 public:
  explicit TGatePass(std::shared_ptr<TCommunicationWrapperInterface::THandlerGate> gate) : gate_(std::move(gate)) {
    admitted_ = gate_->Enter();
  }
  ~TGatePass() {
    if (admitted_) gate_->Leave();
  }
  bool Admitted() const { return admitted_; }

 private:
  std::shared_ptr<TCommunicationWrapperInterface::THandlerGate> gate_;
  bool admitted_ = false;
};

// A reference for the length of a handler, taken only if the wrapper is not
// already on its way out.
class TKeepAlive {
 public:
  explicit TKeepAlive(TMyInterfacedObject* object) : object_(object->TryAddRef() ? object : nullptr) {}
  ~TKeepAlive() {
    if (object_) object_->Release();
  }
  bool Held() const { return object_ != nullptr; }

 private:
  TMyInterfacedObject* object_;
};
}  // namespace

namespace {
// The one queued data-read notice of a wrapper. The wrapper never outlives
// its gate's closing, and a closed gate runs nothing.
class TDataReadEvent : public TDispatcherEvent {
 public:
  using THandler = TMethod<void()>;
  TDataReadEvent(std::shared_ptr<TCommunicationWrapperInterface::THandlerGate> gate, THandler handler)
      : gate_(std::move(gate)), handler_(handler) {}
  void Execute() override {
    // Cleared first: a chunk from now on queues a notice of its own, and the
    // read below takes everything before it.
    gate_->readPending.store(false);
    {
      std::lock_guard<std::mutex> lock(gate_->mutex);
      if (gate_->closed) return;
    }
    handler_();
  }

 private:
  std::shared_ptr<TCommunicationWrapperInterface::THandlerGate> gate_;
  THandler handler_;
};
}  // namespace

void TCommunicationWrapperInterface::DataArrived(transport::ICommunicationInterface*, const std::string&) {
  if (gate_->readPending.exchange(true)) return;
  // Under the gate's lock: once the gate is closed the dispatcher may go.
  std::lock_guard<std::mutex> lock(gate_->mutex);
  if (gate_->closed) return;
  receiveDispatcher_->Queue()->Push(std::make_unique<TDataReadEvent>(
      gate_, TDataReadEvent::THandler::Bind<&TCommunicationWrapperInterface::ReceiveHandler>(this)));
}

void TCommunicationWrapperInterface::ReceiveHandler() {
  TGatePass pass(gate_);
  if (!pass.Admitted()) return;
  // OnDataRcv may drop the last other reference, and DoDataRcv goes on after
  // it. Released before the pass, so a destruction elsewhere still waits.
  TKeepAlive self(this);
  if (!self.Held()) return;
  // Once per thread, not per chunk.
  static thread_local bool named = false;
  if (!named) {
    NameThread("CI Data Receive Thread");
    named = true;
  }
  DoDataRcv();
}

void TCommunicationWrapperInterface::ErrorHandler(transport::ICommunicationInterface*, const std::string& Operation,
                                                  const std::vector<std::string>& Args, int Code) {
  TGatePass pass(gate_);
  if (!pass.Admitted()) return;
  TKeepAlive self(this);
  if (!self.Held()) return;
  DoError(Operation, Args, Code);
}

void TProcessMsgList::Add(TReceiver receiver, int message) {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.emplace_back(receiver, message);
}

void TProcessMsgList::Remove(TReceiver receiver, int message) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = std::find_if(entries_.begin(), entries_.end(), [&](const auto& e) {
    return e.first == receiver && e.second == message;
  });
  if (it != entries_.end()) entries_.erase(it);
}

int TProcessMsgList::Count() {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(entries_.size());
}

void TProcessMsgList::Notify(IInterface* Sender, int Code) {
  std::vector<std::pair<TReceiver, int>> entries;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    entries = entries_;
  }
  for (const auto& [receiver, message] : entries)
    if (receiver.Assigned()) receiver(message, Sender, Code);
}

int NexoProcessMessage() {
  // One id for the process, as a registered window message would be.
  static const int id = 0xC000 + static_cast<int>(std::hash<std::string>{}("NexoProcessMessage") % 0x3FFF);
  return id;
}

TProcessMsgList* TNexoCommunicationWrapperInterface::MessageList() {
  std::lock_guard<std::mutex> lock(messageListMutex_);
  if (!messageList_) messageList_ = std::make_unique<TProcessMsgList>();
  return messageList_.get();
}

int TNexoCommunicationWrapperInterface::ProcessStep() {
  if (GetEnabled() && !GetActive() && (!reconnectStarted_ || reconnect_.Elapsed() >= ReconnectPeriodMs)) {
    TProcessMsgList* list = nullptr;
    {
      std::lock_guard<std::mutex> lock(messageListMutex_);
      list = messageList_.get();
    }
    if (list) list->Notify(static_cast<ICommunicationInterface*>(this), 0x10001);
    Open();
    if (list) list->Notify(static_cast<ICommunicationInterface*>(this), 0x20000);
    reconnect_.Restart();
    reconnectStarted_ = true;
  }
  return ReconnectPeriodMs;
}

void RegisterClass(const TCommunicationInterfaceClass* cls) {
  if (!cls) return;
  std::lock_guard<std::mutex> lock(g_classMutex);
  g_classes.push_back(cls);
}

void UnregisterClass(const std::string& className) {
  std::lock_guard<std::mutex> lock(g_classMutex);
  auto it = std::find_if(g_classes.begin(), g_classes.end(),
                         [&](const TCommunicationInterfaceClass* c) { return className == c->ClassName; });
  if (it != g_classes.end()) g_classes.erase(it);
}

std::vector<const TCommunicationInterfaceClass*> RegisteredClasses() {
  std::lock_guard<std::mutex> lock(g_classMutex);
  return g_classes;
}

void InitializeWrapperModule() {
  for (const char* name : WrapperProviders) {
    UnregisterProvider(name);
    RegisterProvider(&TCommunicationWrapperInterface::Class, name);
  }
  UnregisterClass(TNexoCommunicationWrapperInterface::Class.ClassName);
  RegisterClass(&TNexoCommunicationWrapperInterface::Class);
}

void FinalizeWrapperModule() {
  for (const char* name : WrapperProviders) UnregisterProvider(name);
  UnregisterClass(TNexoCommunicationWrapperInterface::Class.ClassName);
}

}  // namespace korvan::ci
