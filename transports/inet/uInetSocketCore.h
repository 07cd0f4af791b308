#pragma once
// A POSIX socket handle, its raw operations, and the locked core the socket object uses.
#include <atomic>
#include <condition_variable>
#include <cerrno>
#include <cstdint>
#include <mutex>
#include <string>

#include "comm/uSynchronizer.h"

// A socket handle over POSIX sockets and the raw operations on it, then the
// same behind locks with the keep-alive settings and the close protocol.
// Sockets are non-blocking; every wait has a deadline and can be aborted.
namespace korvan::transport {

enum : int { InetSocketStream = 0, InetSocketDatagram = 1 };

// The last socket error of the calling thread (errno); a connect time-out
// leaves ETIMEDOUT.
int InetSocketLastError();

// Copies errno across clean-up that may change it.
struct TKeepErrno {
  int saved = errno;
  ~TKeepErrno() { errno = saved; }
};

// One socket handle and the raw operations.
class TInetSocketCore {
 public:
  TInetSocketCore();
  ~TInetSocketCore();
  TInetSocketCore(const TInetSocketCore&) = delete;
  TInetSocketCore& operator=(const TInetSocketCore&) = delete;

  bool Allocate(int kind);
  bool IsAllocated();
  bool Close();
  bool Shutdown(bool sending, bool receiving);
  bool Bind();
  // Blocks until connected, refused, or Abort; `timeoutMs` < 0 waits as long
  // as the platform does.
  bool Connect(int timeoutMs = -1);
  // Makes a connect or send in progress on another thread fail at once, and
  // any later one until the next allocation.
  void Abort();
  // Abort, then wait until that connect has let go of the handle.
  void AbortConnect();
  // Sends every byte within the deadline (partial sends go on); false with
  // ETIMEDOUT when it passes, ECONNABORTED on an abort.
  bool Send(const std::string& bytes, int timeoutMs);
  bool SendTo(const std::string& bytes, const std::string& host, int port);
  bool Receive(std::string& bytes);
  bool ReceiveFrom(std::string& bytes, std::string& host, int& port);
  bool SetBroadcast(bool on);
  bool SetKeepAlive(bool on, uint32_t idleMs, uint32_t intervalMs);
  // Small frames go out at once instead of waiting for the peer's acknowledgement.
  bool SetNoDelay();
  // Readable with nothing to read: the peer ended the stream (or it broke).
  bool PeerClosed();
  // Something is waiting to be received (a datagram, possibly empty).
  bool Pending();

  int Handle() const { return fd_.load(); }
  int Kind() const { return kind_; }
  bool Bound() const { return bound_.load(); }
  bool Connected() const { return connected_.load(); }

  std::string LocalAddress;
  int LocalPort = 0;
  std::string RemoteHost;
  int RemotePort = 0;

 private:
  std::recursive_mutex allocation_;
  std::mutex connectMutex_;
  std::condition_variable connectCv_;
  bool connecting_ = false;
  std::atomic<int> fd_{-1};
  int abortFd_ = -1;
  int abortError_ = 0;  // why there is none
  std::atomic<bool> bound_{false};
  std::atomic<bool> connected_{false};
  int kind_ = -1;
};

// The core behind locks, with the keep-alive settings and the close protocol.
class TInetSocketCoreExtended {
 public:
  TInetSocketCoreExtended();
  ~TInetSocketCoreExtended();

  bool Allocate(int kind);
  bool Close(bool graceful);
  bool Bind();
  // A failed connect leaves no socket behind; errno stays the connect's.
  bool Connect(int timeoutMs);
  bool Send(const std::string& bytes, int timeoutMs);
  void Abort() { core_.Abort(); }
  bool Receive(std::string& bytes, std::string& host, int& port);
  bool SetKeepAlive(bool on, uint32_t idleMs, uint32_t intervalMs);
  bool KeepAliveOn();
  uint32_t KeepAliveTime();
  uint32_t KeepAliveInterval();
  bool PeerClosed();
  bool Pending();
  // The descriptor the work thread waits on: a connected stream or a bound
  // datagram socket; -1 when there is nothing to receive from.
  int ReceiveHandle();
  // Wakes the work thread: a close to carry out, or a socket to watch now.
  void Wake();
  int WakeHandle() const { return wakeFd_; }

  std::string GetLocalAddress();
  void SetLocalAddress(const std::string& v);
  int GetLocalPort();
  void SetLocalPort(int v);
  std::string GetRemoteHost();
  void SetRemoteHost(const std::string& v);
  int GetRemotePort();
  void SetRemotePort(int v);
  bool IsAllocated();
  bool IsBound();
  bool IsConnected();
  int Kind();

  TMultiReadExclusiveWriteSynchronizerExtended& Lock() { return lock_; }

 private:
  TInetSocketCore core_;
  TMultiReadExclusiveWriteSynchronizerExtended lock_;
  std::recursive_mutex receive_, send_, allocation_;
  std::atomic<int> closing_{0};
  int wakeFd_ = -1;
  int wakeError_ = 0;  // why there is none
  bool keepAliveOn_ = false;
  uint32_t keepAliveTime_ = 0;
  uint32_t keepAliveInterval_ = 0;
};

}  // namespace korvan::transport
