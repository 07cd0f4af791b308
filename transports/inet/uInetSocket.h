#pragma once
// The socket object of the TCP and UDP transports, with its work thread.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "comm/uException.h"
#include "comm/uMethod.h"
#include "comm/uQueue.h"
#include "comm/uSynchronizer.h"
#include "comm/ui_MyInterfacedObject.h"
#include "transports/inet/uInetSocketCore.h"

// The system's thin socket library over POSIX sockets: a socket object whose
// settings may change at any time, opening by bind or by connect with a
// time-out, and a work thread per socket that sleeps in poll() until data,
// a close or a change wakes it. Sockets are non-blocking; every wait has a
// deadline and can be aborted; keep-alive probing is the kernel's.
namespace korvan::transport {

class EInetSocketAccessByWorkThreadDenied : public Exception {
 public:
  EInetSocketAccessByWorkThreadDenied() : Exception("Access to InetSocket by WorkThread denied!") {}
};

struct TInetSocketPacket {
  std::string host;
  int32_t port = 0;
  std::string data;
};

// A bounded queue of received packets; maximum -1 means no limit, 0 none kept.
class TInetSocketPacketQueue {
 public:
  void Push(const TInetSocketPacket& packet);
  bool Pop(TInetSocketPacket& packet);
  void Clear();
  void SetMaximum(int maximum);
  int Count();

 private:
  std::mutex mutex_;
  TQueue<TInetSocketPacket> queue_;
  int maximum_ = -1;
};

class TInetSocketCustom;

using TInetSocketDataReceiveEvent = TMethod<void(TInetSocketCustom* Sender, const TInetSocketPacket& Packet)>;
using TInetSocketDisconnectEvent = TMethod<void(TInetSocketCustom* Sender)>;
using TInetSocketInternalErrorEvent = TMethod<void(TInetSocketCustom* Sender, const std::string& Operation,
                                                   const std::string& Message, const std::string& ClassName)>;

// What the work thread calls.
class IInetSocketEvents : public virtual IInterface {
 public:
  virtual void DataReceive(TInetSocketCustom* Sender, const TInetSocketPacket& Packet) = 0;
  virtual void Disconnect(TInetSocketCustom* Sender) = 0;
  virtual void InternalError(TInetSocketCustom* Sender, const std::string& Operation, const std::string& Message,
                             const std::string& ClassName) = 0;
};

// What the owner uses to set the handlers.
class IInetSocketEventsSync : public virtual IInterface {
 public:
  virtual void SetOnDataReceive(TInetSocketDataReceiveEvent handler) = 0;
  virtual TInetSocketDataReceiveEvent GetOnDataReceive() = 0;
  virtual void SetOnDisconnect(TInetSocketDisconnectEvent handler) = 0;
  virtual TInetSocketDisconnectEvent GetOnDisconnect() = 0;
  virtual void SetOnInternalError(TInetSocketInternalErrorEvent handler) = 0;
  virtual TInetSocketInternalErrorEvent GetOnInternalError() = 0;
};

// Holds the three handlers; a handler runs under the holder's shared lock,
// so replacing it waits for a call in progress.
class TInetSocketEventsSync : public TMyInterfacedObject,
                              public virtual IInetSocketEvents,
                              public virtual IInetSocketEventsSync {
 public:
  TInetSocketEventsSync() : lock_("TInetSocketEventsSync") {}

  void DataReceive(TInetSocketCustom* Sender, const TInetSocketPacket& Packet) override;
  void Disconnect(TInetSocketCustom* Sender) override;
  void InternalError(TInetSocketCustom* Sender, const std::string& Operation, const std::string& Message,
                     const std::string& ClassName) override;

  void SetOnDataReceive(TInetSocketDataReceiveEvent handler) override;
  TInetSocketDataReceiveEvent GetOnDataReceive() override;
  void SetOnDisconnect(TInetSocketDisconnectEvent handler) override;
  TInetSocketDisconnectEvent GetOnDisconnect() override;
  void SetOnInternalError(TInetSocketInternalErrorEvent handler) override;
  TInetSocketInternalErrorEvent GetOnInternalError() override;

 private:
  TMultiReadExclusiveWriteSynchronizerExtended lock_;
  TInetSocketDataReceiveEvent onDataReceive_;
  TInetSocketDisconnectEvent onDisconnect_;
  TInetSocketInternalErrorEvent onInternalError_;
};

// Waits in poll() on its socket and a wake-up eventfd, with no time-out:
// carries out requested closes and delivers received data as it arrives.
// It owns itself while it runs, so that a socket object destroyed from a
// handler on this thread can let it finish on its own.
class TInetSocketWorkThread : public std::enable_shared_from_this<TInetSocketWorkThread> {
 public:
  TInetSocketWorkThread(TInetSocketCustom* owner, TRef<IInetSocketEvents> events);
  ~TInetSocketWorkThread();

  void Start();
  void Terminate();
  void WaitFor();
  // Lets the thread end on its own (the caller is that thread).
  void Detach();
  std::thread::id Id() const { return id_.load(); }

  // Carries out a requested close first, then allocates if needed.
  void Prepare(int kind);
  void RequestClose();
  bool CloseRequested() const { return closeRequest_.load(); }
  void ResetIdleTimer();
  void SetQueueMaximum(int maximum);
  TInetSocketCoreExtended& Core() { return *core_; }
  TInetSocketPacketQueue& Queue() { return *queue_; }

 private:
  void Execute();
  void DoInternalClose();
  void DoDataReceive();
  void Deliver(TInetSocketPacket& packet);
  void DoInternalError(const std::string& operation, const std::string& message, const std::string& className);

  TInetSocketCustom* owner_;
  std::unique_ptr<TInetSocketCoreExtended> core_;
  std::unique_ptr<TInetSocketPacketQueue> queue_;
  TRef<IInetSocketEvents> events_;
  std::atomic<bool> closeRequest_{false};
  std::atomic<uint32_t> idleStamp_{0};
  std::atomic<bool> terminated_{false};
  std::atomic<std::thread::id> id_{};
  std::thread thread_;
};

// The public socket object.
class TInetSocketCustom {
 public:
  TInetSocketCustom();
  virtual ~TInetSocketCustom();
  TInetSocketCustom(const TInetSocketCustom&) = delete;
  TInetSocketCustom& operator=(const TInetSocketCustom&) = delete;

  void SetKind(int kind);
  int GetKind();
  std::string GetLocalAddress();
  void SetLocalAddress(const std::string& v);
  int GetLocalPort();
  void SetLocalPort(int v);
  std::string GetRemoteHost();
  void SetRemoteHost(const std::string& v);
  int GetRemotePort();
  void SetRemotePort(int v);
  bool Bind();
  bool Connect(int timeoutMs);
  bool Close(bool graceful);
  // Makes a connect or send in progress fail at once; no lock, no work-thread
  // rule, so a forced close can reach it while that operation holds the locks.
  void Abort();
  // A stream send that fails (deadline passed, peer gone) closes the connection.
  bool Send(const std::string& bytes, int timeoutMs = DefaultSendTimeoutMs);
  // False already while a requested close is pending.
  bool IsBound();
  bool IsConnected();
  // Bound or connected, without the work-thread rule: for an owner's
  // destructor, which may run on the work thread.
  bool Active();
  bool OnWorkThread() const;

  static constexpr int DefaultSendTimeoutMs = 5000;
  bool SetKeepAlive(bool on, uint32_t idleMs, uint32_t intervalMs);
  bool GetKeepAliveOn();
  uint32_t GetKeepAliveTime();
  uint32_t GetKeepAliveInterval();
  void SetQueueMaximum(int maximum);
  int QueueCount();

 protected:
  // For subclasses that supply an events interface.
  explicit TInetSocketCustom(TRef<IInetSocketEvents> events);
  virtual void AfterPrepare() {}
  // Raises EInetSocketAccessByWorkThreadDenied on the work thread.
  void CheckNotWorkThread();
  TMultiReadExclusiveWriteSynchronizerExtended& Lock() { return lock_; }

 private:
  void Prepare();

  TMultiReadExclusiveWriteSynchronizerExtended lock_;
  std::shared_ptr<TInetSocketWorkThread> thread_;
  int kind_ = InetSocketStream;
};

// The socket object with its event holder.
class TInetSocket : public TInetSocketCustom {
 public:
  TInetSocket();

  IInetSocketEventsSync* Events() { return events_.get(); }
  void SetOnDataReceive(TInetSocketDataReceiveEvent handler);
  void SetOnDisconnect(TInetSocketDisconnectEvent handler);
  void SetOnInternalError(TInetSocketInternalErrorEvent handler);

 private:
  explicit TInetSocket(TRef<TInetSocketEventsSync> holder);
  TRef<IInetSocketEventsSync> events_;
};

}  // namespace korvan::transport
