#include "transports/inet/uInetSocket.h"

#include <cerrno>
#include <poll.h>

#include "platform/uThreadName.h"
#include "platform/uTickCount.h"

namespace korvan::transport {

// ---- TInetSocketPacketQueue ------------------------------------------------

void TInetSocketPacketQueue::Push(const TInetSocketPacket& packet) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (maximum_ == 0) return;
  queue_.Push(packet);
  if (maximum_ > 0 && queue_.Count() > maximum_) queue_.Pop();
}

bool TInetSocketPacketQueue::Pop(TInetSocketPacket& packet) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (queue_.Count() == 0) return false;
  packet = queue_.Pop();
  return true;
}

void TInetSocketPacketQueue::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  queue_.Clear();
}

void TInetSocketPacketQueue::SetMaximum(int maximum) {
  std::lock_guard<std::mutex> lock(mutex_);
  maximum_ = maximum;
  if (maximum_ == 0) queue_.Clear();
  while (maximum_ > 0 && queue_.Count() > maximum_) queue_.Pop();
}

int TInetSocketPacketQueue::Count() {
  std::lock_guard<std::mutex> lock(mutex_);
  return queue_.Count();
}

// ---- TInetSocketEventsSync --------------------------------------------------

void TInetSocketEventsSync::DataReceive(TInetSocketCustom* Sender, const TInetSocketPacket& Packet) {
  TReadLock guard(lock_);
  if (onDataReceive_) onDataReceive_(Sender, Packet);
}
void TInetSocketEventsSync::Disconnect(TInetSocketCustom* Sender) {
  TReadLock guard(lock_);
  if (onDisconnect_) onDisconnect_(Sender);
}
void TInetSocketEventsSync::InternalError(TInetSocketCustom* Sender, const std::string& Operation,
                                          const std::string& Message, const std::string& ClassName) {
  TReadLock guard(lock_);
  if (onInternalError_) onInternalError_(Sender, Operation, Message, ClassName);
}
void TInetSocketEventsSync::SetOnDataReceive(TInetSocketDataReceiveEvent handler) {
  TWriteLock guard(lock_);
  onDataReceive_ = handler;
}
TInetSocketDataReceiveEvent TInetSocketEventsSync::GetOnDataReceive() {
  TReadLock guard(lock_);
  return onDataReceive_;
}
void TInetSocketEventsSync::SetOnDisconnect(TInetSocketDisconnectEvent handler) {
  TWriteLock guard(lock_);
  onDisconnect_ = handler;
}
TInetSocketDisconnectEvent TInetSocketEventsSync::GetOnDisconnect() {
  TReadLock guard(lock_);
  return onDisconnect_;
}
void TInetSocketEventsSync::SetOnInternalError(TInetSocketInternalErrorEvent handler) {
  TWriteLock guard(lock_);
  onInternalError_ = handler;
}
TInetSocketInternalErrorEvent TInetSocketEventsSync::GetOnInternalError() {
  TReadLock guard(lock_);
  return onInternalError_;
}

// ---- TInetSocketWorkThread ---------------------------------------------------

TInetSocketWorkThread::TInetSocketWorkThread(TInetSocketCustom* owner, TRef<IInetSocketEvents> events)
    : owner_(owner),
      core_(std::make_unique<TInetSocketCoreExtended>()),
      queue_(std::make_unique<TInetSocketPacketQueue>()),
      events_(std::move(events)) {}

TInetSocketWorkThread::~TInetSocketWorkThread() {
  Terminate();
  WaitFor();
}

void TInetSocketWorkThread::Start() {
  if (thread_.joinable()) return;
  // The thread's own reference keeps it alive when its owner went from a
  // handler on it (see Detach).
  thread_ = std::thread([self = shared_from_this()] {
    self->id_.store(std::this_thread::get_id());
    NameThread("InetSocket work");
    self->Execute();
  });
  // The work-thread rule needs the id before anyone calls in.
  while (id_.load() == std::thread::id{}) std::this_thread::yield();
}

void TInetSocketWorkThread::WaitFor() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void TInetSocketWorkThread::Detach() {
  if (thread_.joinable()) thread_.detach();
}

void TInetSocketWorkThread::Prepare(int kind) {
  // A close that a change requested is finished before the next open, so the
  // open never finds the old connection.
  DoInternalClose();
  TWriteLock guard(core_->Lock());
  if (!core_->IsAllocated()) {
    core_->Allocate(kind);
    closeRequest_.store(false);
    queue_->Clear();
  }
}

void TInetSocketWorkThread::RequestClose() {
  {
    TWriteLock guard(core_->Lock());
    closeRequest_.store(true);
  }
  core_->Wake();
}

void TInetSocketWorkThread::Terminate() {
  terminated_.store(true);
  core_->Wake();
}

void TInetSocketWorkThread::ResetIdleTimer() { idleStamp_.store(GetTickCount()); }

void TInetSocketWorkThread::SetQueueMaximum(int maximum) { queue_->SetMaximum(maximum); }

void TInetSocketWorkThread::Execute() {
  while (!terminated_.load()) {
    try {
      if (closeRequest_.load()) DoInternalClose();
      // Asleep until the socket has something or someone wakes us (a close
      // to carry out, a socket to watch, the end); nothing needs a timer.
      const int fd = core_->ReceiveHandle();
      pollfd p[2] = {{core_->WakeHandle(), POLLIN, 0}, {fd, POLLIN, 0}};
      // Without a wake-up (no descriptor was left for it) the end is looked for.
      const int r = poll(p, fd >= 0 ? 2 : 1, core_->WakeHandle() >= 0 ? -1 : 100);
      if (terminated_.load()) break;
      if (r < 0) {
        if (errno != EINTR) SleepMs(10);
        continue;
      }
      if (p[0].revents & POLLIN) {
        uint64_t wakes;
        const ssize_t n = ::read(core_->WakeHandle(), &wakes, sizeof wakes);
        (void)n;
      }
      if (fd >= 0 && p[1].revents) DoDataReceive();
    } catch (const Exception& e) {
      DoInternalError("Execute", e.what(), e.ClassName());
      closeRequest_.store(true);
    } catch (const std::exception& e) {
      DoInternalError("Execute", e.what(), ClassNameOf(typeid(e)));
      closeRequest_.store(true);
    } catch (...) {
      DoInternalError("Execute", "unknown exception", "");
      closeRequest_.store(true);
    }
  }
}

void TInetSocketWorkThread::DoInternalClose() {
  try {
    TWriteLock guard(core_->Lock());
    if (closeRequest_.load() && core_->IsAllocated()) {
      core_->Close(false);
      if (events_ && !terminated_.load()) events_->Disconnect(owner_);
    }
  } catch (const Exception& e) {
    DoInternalError("DoInternalClose", e.what(), e.ClassName());
  } catch (const std::exception& e) {
    DoInternalError("DoInternalClose", e.what(), ClassNameOf(typeid(e)));
  }
}

void TInetSocketWorkThread::DoDataReceive() {
  // A stream delivers everything that has arrived; a datagram socket every
  // pending datagram, in arrival order, each as a packet of its own.
  for (;;) {
    TInetSocketPacket packet;
    bool more = false;
    {
      TReadLock guard(core_->Lock());
      if (!core_->Receive(packet.data, packet.host, packet.port) || packet.data.empty()) {
        // Readable with nothing to read, or an error or hang-up: the peer is
        // gone (it ended the stream, or the kernel's keep-alive gave up).
        if (core_->PeerClosed()) closeRequest_.store(true);
        if (core_->Kind() != InetSocketDatagram || !core_->Pending()) return;
        continue;  // an empty datagram, with more behind it
      }
      more = core_->Kind() == InetSocketDatagram && core_->Pending();
    }
    Deliver(packet);
    if (!more || terminated_.load()) return;
  }
}

void TInetSocketWorkThread::Deliver(TInetSocketPacket& packet) {
  try {
    queue_->Push(packet);
    if (events_ && !terminated_.load()) events_->DataReceive(owner_, packet);
  } catch (const Exception& e) {
    DoInternalError("DoDataReceive", e.what(), e.ClassName());
  } catch (const std::exception& e) {
    DoInternalError("DoDataReceive", e.what(), ClassNameOf(typeid(e)));
  }
  ResetIdleTimer();
}

void TInetSocketWorkThread::DoInternalError(const std::string& operation, const std::string& message,
                                            const std::string& className) {
  if (!events_ || terminated_.load()) return;
  try {
    events_->InternalError(owner_, operation, message, className);
  } catch (const std::exception& e) {
    try {
      events_->InternalError(owner_, "DoInternalError", e.what(), ClassNameOf(typeid(e)));
    } catch (...) {
    }
  } catch (...) {
  }
}

// ---- TInetSocketCustom -------------------------------------------------------

TInetSocketCustom::TInetSocketCustom() : TInetSocketCustom(nullptr) {}

TInetSocketCustom::TInetSocketCustom(TRef<IInetSocketEvents> events) : lock_("TInetSocketCustom") {
  thread_ = std::make_shared<TInetSocketWorkThread>(this, std::move(events));
  kind_ = InetSocketStream;
  thread_->Start();
}

TInetSocketCustom::~TInetSocketCustom() {
  thread_->Terminate();
  if (OnWorkThread()) {
    // Destroyed from a handler on the work thread: it cannot wait for itself.
    // Told to end, it calls no handler again and frees itself when it returns.
    thread_->Detach();
  } else {
    TWriteLock guard(lock_);
    thread_->WaitFor();
  }
  thread_.reset();
}

bool TInetSocketCustom::OnWorkThread() const { return thread_ && thread_->Id() == std::this_thread::get_id(); }

void TInetSocketCustom::CheckNotWorkThread() {
  if (OnWorkThread()) throw EInetSocketAccessByWorkThreadDenied();
}

void TInetSocketCustom::SetKind(int kind) {
  CheckNotWorkThread();
  TWriteLock guard(lock_);
  if (kind == kind_) return;
  kind_ = kind;
  thread_->RequestClose();
}

int TInetSocketCustom::GetKind() {
  CheckNotWorkThread();
  TReadLock guard(lock_);
  return kind_;
}

std::string TInetSocketCustom::GetLocalAddress() {
  CheckNotWorkThread();
  TReadLock guard(lock_);
  return thread_->Core().GetLocalAddress();
}

void TInetSocketCustom::SetLocalAddress(const std::string& v) {
  CheckNotWorkThread();
  TWriteLock guard(lock_);
  TInetSocketCoreExtended& core = thread_->Core();
  TWriteLock coreGuard(core.Lock());
  if (core.GetLocalAddress() == v) return;
  core.SetLocalAddress(v);
  if (core.IsBound()) thread_->RequestClose();
}

int TInetSocketCustom::GetLocalPort() {
  CheckNotWorkThread();
  TReadLock guard(lock_);
  return thread_->Core().GetLocalPort();
}

void TInetSocketCustom::SetLocalPort(int v) {
  CheckNotWorkThread();
  TWriteLock guard(lock_);
  TInetSocketCoreExtended& core = thread_->Core();
  TWriteLock coreGuard(core.Lock());
  if (core.GetLocalPort() == v) return;
  core.SetLocalPort(v);
  if (core.IsBound()) thread_->RequestClose();
}

std::string TInetSocketCustom::GetRemoteHost() {
  CheckNotWorkThread();
  TReadLock guard(lock_);
  return thread_->Core().GetRemoteHost();
}

void TInetSocketCustom::SetRemoteHost(const std::string& v) {
  CheckNotWorkThread();
  TWriteLock guard(lock_);
  TInetSocketCoreExtended& core = thread_->Core();
  TWriteLock coreGuard(core.Lock());
  if (core.GetRemoteHost() == v) return;
  core.SetRemoteHost(v);
  if (core.IsConnected()) thread_->RequestClose();
}

int TInetSocketCustom::GetRemotePort() {
  CheckNotWorkThread();
  TReadLock guard(lock_);
  return thread_->Core().GetRemotePort();
}

void TInetSocketCustom::SetRemotePort(int v) {
  CheckNotWorkThread();
  TWriteLock guard(lock_);
  TInetSocketCoreExtended& core = thread_->Core();
  TWriteLock coreGuard(core.Lock());
  if (core.GetRemotePort() == v) return;
  core.SetRemotePort(v);
  if (core.IsConnected()) thread_->RequestClose();
}

void TInetSocketCustom::Prepare() {
  thread_->Prepare(kind_);
  AfterPrepare();
}

bool TInetSocketCustom::Bind() {
  CheckNotWorkThread();
  TWriteLock guard(lock_);
  Prepare();
  if (thread_->Core().IsBound()) return true;
  if (thread_->Core().Bind()) return true;
  // No half-open socket: a send would bind it to a port of its own.
  TKeepErrno keep;
  thread_->Core().Close(false);
  return false;
}

bool TInetSocketCustom::Connect(int timeoutMs) {
  CheckNotWorkThread();
  TWriteLock guard(lock_);
  Prepare();
  return thread_->Core().Connect(timeoutMs);
}

bool TInetSocketCustom::Close(bool graceful) {
  if (graceful) return thread_->Core().Close(true);
  CheckNotWorkThread();
  TWriteLock guard(lock_);
  return thread_->Core().Close(false);
}

void TInetSocketCustom::Abort() { thread_->Core().Abort(); }

bool TInetSocketCustom::Send(const std::string& bytes, int timeoutMs) {
  CheckNotWorkThread();
  TReadLock guard(lock_);
  TInetSocketCoreExtended& core = thread_->Core();
  const bool ok = core.Send(bytes, timeoutMs);
  if (ok) {
    thread_->ResetIdleTimer();
  } else if (core.IsConnected()) {
    // Part of a frame may be out: the peer's framing is spoilt either way.
    TKeepErrno keep;
    thread_->RequestClose();
  }
  return ok;
}

bool TInetSocketCustom::IsBound() {
  CheckNotWorkThread();
  TReadLock guard(lock_);
  return thread_->Core().IsBound() && !thread_->CloseRequested();
}

bool TInetSocketCustom::IsConnected() {
  CheckNotWorkThread();
  TReadLock guard(lock_);
  return thread_->Core().IsConnected() && !thread_->CloseRequested();
}

bool TInetSocketCustom::Active() {
  TInetSocketCoreExtended& core = thread_->Core();
  return (core.IsBound() || core.IsConnected()) && !thread_->CloseRequested();
}

bool TInetSocketCustom::SetKeepAlive(bool on, uint32_t idleMs, uint32_t intervalMs) {
  CheckNotWorkThread();
  TWriteLock guard(lock_);
  return thread_->Core().SetKeepAlive(on, idleMs, intervalMs);
}

bool TInetSocketCustom::GetKeepAliveOn() {
  CheckNotWorkThread();
  TReadLock guard(lock_);
  return thread_->Core().KeepAliveOn();
}

uint32_t TInetSocketCustom::GetKeepAliveTime() {
  CheckNotWorkThread();
  TReadLock guard(lock_);
  return thread_->Core().KeepAliveTime();
}

uint32_t TInetSocketCustom::GetKeepAliveInterval() {
  CheckNotWorkThread();
  TReadLock guard(lock_);
  return thread_->Core().KeepAliveInterval();
}

void TInetSocketCustom::SetQueueMaximum(int maximum) {
  CheckNotWorkThread();
  TWriteLock guard(lock_);
  thread_->SetQueueMaximum(maximum);
}

int TInetSocketCustom::QueueCount() {
  CheckNotWorkThread();
  TReadLock guard(lock_);
  return thread_->Queue().Count();
}

// ---- TInetSocket ---------------------------------------------------------------

TInetSocket::TInetSocket() : TInetSocket(CreateObject<TInetSocketEventsSync>()) {}

TInetSocket::TInetSocket(TRef<TInetSocketEventsSync> holder)
    : TInetSocketCustom(TRef<IInetSocketEvents>(holder.get())), events_(holder.get()) {}

void TInetSocket::SetOnDataReceive(TInetSocketDataReceiveEvent handler) {
  CheckNotWorkThread();
  TWriteLock guard(Lock());
  events_->SetOnDataReceive(handler);
}

void TInetSocket::SetOnDisconnect(TInetSocketDisconnectEvent handler) {
  CheckNotWorkThread();
  TWriteLock guard(Lock());
  events_->SetOnDisconnect(handler);
}

void TInetSocket::SetOnInternalError(TInetSocketInternalErrorEvent handler) {
  CheckNotWorkThread();
  TWriteLock guard(Lock());
  events_->SetOnInternalError(handler);
}

}  // namespace korvan::transport
