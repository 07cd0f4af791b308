#include "transports/uInetSocket.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "comm/uTimer.h"
#include "platform/uThreadName.h"
#include "platform/uTickCount.h"

namespace korvan::transport {

namespace {
// Numeric IPv4 only: a host name gives no address.
bool ToAddress(const std::string& host, int port, sockaddr_in& a) {
  a = sockaddr_in{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  const in_addr_t addr = inet_addr(host.c_str());
  if (addr == INADDR_NONE && host != "255.255.255.255") return false;
  a.sin_addr.s_addr = addr;
  return true;
}

// Whole seconds, rounded up, within what the kernel accepts (1 to 32767).
int Seconds(uint32_t ms) {
  const uint64_t seconds = (static_cast<uint64_t>(ms) + 999) / 1000;
  return static_cast<int>(std::clamp<uint64_t>(seconds, 1, 32767));
}

// Copies errno across clean-up that may change it.
struct TKeepErrno {
  int saved = errno;
  ~TKeepErrno() { errno = saved; }
};
}  // namespace

int InetSocketLastError() { return errno; }

// ---- TInetSocketCore --------------------------------------------------------

TInetSocketCore::TInetSocketCore() : LocalAddress("0.0.0.0") { abortFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK); }

TInetSocketCore::~TInetSocketCore() {
  Close();
  if (abortFd_ >= 0) ::close(abortFd_);
}

bool TInetSocketCore::Allocate(int kind) {
  std::lock_guard<std::recursive_mutex> lock(allocation_);
  if (IsAllocated()) Close();
  int fd = -1;
  if (kind == InetSocketStream)
    fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
  else if (kind == InetSocketDatagram)
    fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_UDP);
  else
    return false;
  fd_.store(fd);
  kind_ = kind;
  // A fresh socket forgets an abort meant for the previous one.
  uint64_t drain;
  while (::read(abortFd_, &drain, sizeof drain) > 0) {
  }
  return fd >= 0;
}

bool TInetSocketCore::IsAllocated() { return fd_.load() >= 0; }

bool TInetSocketCore::Close() {
  std::lock_guard<std::recursive_mutex> lock(allocation_);
  const int fd = fd_.exchange(-1);
  bound_.store(false);
  connected_.store(false);
  return fd >= 0 && ::close(fd) == 0;
}

bool TInetSocketCore::Shutdown(bool sending, bool receiving) {
  if (!sending && !receiving) return true;
  const int how = sending && receiving ? SHUT_RDWR : sending ? SHUT_WR : SHUT_RD;
  return ::shutdown(fd_.load(), how) == 0;
}

void TInetSocketCore::Abort() {
  const uint64_t one = 1;
  const ssize_t n = ::write(abortFd_, &one, sizeof one);
  (void)n;
}

bool TInetSocketCore::Bind() {
  sockaddr_in a{};
  bool ok = ToAddress(LocalAddress, LocalPort, a) &&
            ::bind(fd_.load(), reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
  if (ok) {
    sockaddr_in b{};
    socklen_t len = sizeof b;
    ok = getsockname(fd_.load(), reinterpret_cast<sockaddr*>(&b), &len) == 0;
  }
  bound_.store(ok);
  return ok;
}

void TInetSocketCore::AbortConnect() {
  Abort();
  std::unique_lock<std::mutex> lock(connectMutex_);
  connectCv_.wait_for(lock, std::chrono::seconds(5), [this] { return !connecting_; });
}

bool TInetSocketCore::Connect(int timeoutMs) {
  {
    std::lock_guard<std::mutex> lock(connectMutex_);
    connecting_ = true;
  }
  // Whoever closes the handle waits for this, so it stays ours until we return.
  struct Done {
    TInetSocketCore* core;
    ~Done() {
      std::lock_guard<std::mutex> lock(core->connectMutex_);
      core->connecting_ = false;
      core->connectCv_.notify_all();
    }
  } done{this};
  const int fd = fd_.load();
  sockaddr_in a{};
  if (fd < 0 || !ToAddress(RemoteHost, RemotePort, a)) {
    if (fd >= 0) errno = EADDRNOTAVAIL;
    connected_.store(false);
    return false;
  }
  // Non-blocking (from allocation), so that an abort or the deadline ends it.
  bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
  if (!ok && errno == EINPROGRESS) {
    TTimer deadline;
    deadline.Start(static_cast<uint32_t>(std::max(timeoutMs, 0)));
    for (;;) {
      pollfd p[2] = {{fd, POLLOUT, 0}, {abortFd_, POLLIN, 0}};
      const int wait = timeoutMs < 0 ? -1 : static_cast<int>(std::max<int64_t>(0, deadline.Remaining()));
      const int r = poll(p, 2, wait);
      if (r < 0 && errno == EINTR) continue;
      if (p[1].revents & POLLIN) {
        errno = ECONNABORTED;
        break;
      }
      if (p[0].revents) {
        int error = 0;
        socklen_t len = sizeof error;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
        ok = error == 0;
        if (!ok) errno = error;
        break;
      }
      if (timeoutMs >= 0 && deadline.Expired()) {
        errno = ETIMEDOUT;
        break;
      }
    }
  }
  if (ok) {
    sockaddr_in b{};
    socklen_t len = sizeof b;
    ok = getsockname(fd, reinterpret_cast<sockaddr*>(&b), &len) == 0;
  }
  connected_.store(ok);
  return ok;
}

bool TInetSocketCore::Send(const std::string& bytes, int timeoutMs) {
  const int fd = fd_.load();
  TTimer deadline;
  deadline.Start(static_cast<uint32_t>(std::max(timeoutMs, 0)));
  size_t done = 0;
  for (;;) {
    // A half-sent frame would spoil the peer's framing: go on until all is sent.
    const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) {
      done += static_cast<size_t>(n);
      if (done == bytes.size()) return true;
      continue;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
    const int64_t left = deadline.Remaining();
    if (left <= 0) {
      errno = ETIMEDOUT;
      return false;
    }
    pollfd p[2] = {{fd, POLLOUT, 0}, {abortFd_, POLLIN, 0}};
    if (poll(p, 2, static_cast<int>(left)) > 0 && (p[1].revents & POLLIN)) {
      errno = ECONNABORTED;
      return false;
    }
  }
}

bool TInetSocketCore::SendTo(const std::string& bytes, const std::string& host, int port) {
  sockaddr_in a{};
  if (!ToAddress(host, port, a)) {
    errno = EDESTADDRREQ;
    return false;
  }
  const ssize_t n = ::sendto(fd_.load(), bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT,
                             reinterpret_cast<const sockaddr*>(&a), sizeof a);
  return n >= 0 && static_cast<size_t>(n) == bytes.size();
}

bool TInetSocketCore::Receive(std::string& bytes) {
  bytes.clear();
  int pending = 0;
  if (ioctl(fd_.load(), FIONREAD, &pending) != 0) return false;
  if (pending <= 0) return true;
  bytes.resize(static_cast<size_t>(pending));
  const ssize_t n = ::recv(fd_.load(), bytes.data(), bytes.size(), MSG_DONTWAIT);
  bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return true;
}

bool TInetSocketCore::ReceiveFrom(std::string& bytes, std::string& host, int& port) {
  bytes.clear();
  host.clear();
  port = 0;
  int pending = 0;
  if (ioctl(fd_.load(), FIONREAD, &pending) != 0) return false;
  if (pending <= 0) {
    // An empty datagram also shows as nothing pending: take it out of the
    // way, or it holds up every datagram behind it.
    char none;
    if (::recv(fd_.load(), &none, 0, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT) == 0)
      (void)::recv(fd_.load(), &none, 0, MSG_DONTWAIT);
    return true;
  }
  bytes.resize(static_cast<size_t>(pending));
  sockaddr_in from{};
  socklen_t len = sizeof from;
  const ssize_t n =
      ::recvfrom(fd_.load(), bytes.data(), bytes.size(), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &len);
  bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
  if (n >= 0 && len >= sizeof from) {
    host = inet_ntoa(from.sin_addr);
    port = ntohs(from.sin_port);
  }
  return true;
}

bool TInetSocketCore::SetBroadcast(bool on) {
  const int value = on ? 1 : 0;
  return setsockopt(fd_.load(), SOL_SOCKET, SO_BROADCAST, &value, sizeof value) == 0;
}

bool TInetSocketCore::SetKeepAlive(bool on, uint32_t idleMs, uint32_t intervalMs) {
  const int fd = fd_.load();
  const int off = 0, value = on ? 1 : 0;
  if (on) {
    // The times first: a refused one must not leave keep-alive half set.
    const int idle = Seconds(idleMs), interval = Seconds(intervalMs);
    if (setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle) != 0 ||
        setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval) != 0) {
      TKeepErrno keep;
      setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &off, sizeof off);
      return false;
    }
  }
  return setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &value, sizeof value) == 0;
}

bool TInetSocketCore::SetNoDelay() {
  const int one = 1;
  return setsockopt(fd_.load(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one) == 0;
}

bool TInetSocketCore::Pending() {
  pollfd p{fd_.load(), POLLIN, 0};
  return p.fd >= 0 && poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

bool TInetSocketCore::PeerClosed() {
  const int fd = fd_.load();
  if (fd < 0) return false;
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, 0) <= 0) return false;
  if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) return true;
  if (!(p.revents & POLLIN)) return false;
  char c;
  return ::recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

// ---- TInetSocketCoreExtended -----------------------------------------------

TInetSocketCoreExtended::TInetSocketCoreExtended()
    : lock_("TInetSocketCoreExtended"), wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

TInetSocketCoreExtended::~TInetSocketCoreExtended() {
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

void TInetSocketCoreExtended::Wake() {
  const uint64_t one = 1;
  const ssize_t n = ::write(wakeFd_, &one, sizeof one);
  (void)n;
}

int TInetSocketCoreExtended::ReceiveHandle() {
  TReadLock guard(lock_);
  const bool open = core_.Kind() == InetSocketDatagram ? core_.Bound() : core_.Connected();
  return open ? core_.Handle() : -1;
}

bool TInetSocketCoreExtended::Pending() {
  TReadLock guard(lock_);
  std::lock_guard<std::recursive_mutex> r(receive_);
  return core_.Pending();
}

bool TInetSocketCoreExtended::Allocate(int kind) {
  TWriteLock guard(lock_);
  std::lock_guard<std::recursive_mutex> a(allocation_);
  return core_.Allocate(kind);
}

bool TInetSocketCoreExtended::Close(bool graceful) {
  // The work thread may wait on the handle: woken, it lets go of it, and the
  // socket is really closed.
  struct TWakeAfter {
    TInetSocketCoreExtended* core;
    ~TWakeAfter() { core->Wake(); }
  } wake{this};
  if (!graceful) {
    TWriteLock guard(lock_);
    return core_.Close();
  }
  // Not under the synchronizer: a connect in progress holds it, and this
  // close is what makes that connect give up.
  closing_.fetch_add(1);
  core_.AbortConnect();
  bool closed;
  {
    std::lock_guard<std::recursive_mutex> s(send_);
    std::lock_guard<std::recursive_mutex> r(receive_);
    std::lock_guard<std::recursive_mutex> a(allocation_);
    core_.Shutdown(true, true);
    closed = core_.Close();
  }
  TWriteLock guard(lock_);
  closing_.fetch_sub(1);
  return closed;
}

bool TInetSocketCoreExtended::Bind() {
  TWriteLock guard(lock_);
  const bool ok = core_.Bind();
  if (ok) {
    core_.SetBroadcast(false);
    Wake();  // a socket to watch now
  }
  return ok;
}

bool TInetSocketCoreExtended::Connect(int timeoutMs) {
  TWriteLock guard(lock_);
  if (core_.Connected()) return true;
  if (!core_.IsAllocated() || closing_.load() != 0) return false;
  const bool ok = core_.Connect(timeoutMs);
  TKeepErrno keep;
  if (!ok) {
    // The next open starts on a fresh socket.
    std::lock_guard<std::recursive_mutex> a(allocation_);
    core_.Close();
  } else {
    core_.SetNoDelay();
    if (keepAliveOn_ && !core_.SetKeepAlive(true, keepAliveTime_, keepAliveInterval_)) keepAliveOn_ = false;
    Wake();  // a socket to watch now
  }
  return ok;
}

bool TInetSocketCoreExtended::Send(const std::string& bytes, int timeoutMs) {
  TReadLock guard(lock_);
  std::lock_guard<std::recursive_mutex> s(send_);
  if (!core_.IsAllocated()) {
    errno = ENOTCONN;
    return false;
  }
  if (core_.Kind() == InetSocketDatagram) return core_.SendTo(bytes, core_.RemoteHost, core_.RemotePort);
  return core_.Send(bytes, timeoutMs);
}

bool TInetSocketCoreExtended::Receive(std::string& bytes, std::string& host, int& port) {
  TReadLock guard(lock_);
  std::lock_guard<std::recursive_mutex> r(receive_);
  bytes.clear();
  if (core_.Kind() == InetSocketDatagram) {
    if (!core_.Bound()) return false;
    return core_.ReceiveFrom(bytes, host, port);
  }
  if (!core_.Connected()) return false;
  host = core_.RemoteHost;
  port = core_.RemotePort;
  return core_.Receive(bytes);
}

bool TInetSocketCoreExtended::PeerClosed() {
  TReadLock guard(lock_);
  std::lock_guard<std::recursive_mutex> r(receive_);
  return core_.Kind() == InetSocketStream && core_.Connected() && core_.PeerClosed();
}

bool TInetSocketCoreExtended::SetKeepAlive(bool on, uint32_t idleMs, uint32_t intervalMs) {
  TWriteLock guard(lock_);
  if (core_.Connected() && !core_.SetKeepAlive(on, idleMs, intervalMs)) return false;
  keepAliveOn_ = on;
  keepAliveTime_ = idleMs;
  keepAliveInterval_ = intervalMs;
  return true;
}

bool TInetSocketCoreExtended::KeepAliveOn() {
  TReadLock guard(lock_);
  return keepAliveOn_;
}
uint32_t TInetSocketCoreExtended::KeepAliveTime() {
  TReadLock guard(lock_);
  return keepAliveTime_;
}
uint32_t TInetSocketCoreExtended::KeepAliveInterval() {
  TReadLock guard(lock_);
  return keepAliveInterval_;
}

std::string TInetSocketCoreExtended::GetLocalAddress() {
  TReadLock guard(lock_);
  return core_.LocalAddress;
}
void TInetSocketCoreExtended::SetLocalAddress(const std::string& v) {
  TWriteLock guard(lock_);
  core_.LocalAddress = v;
}
int TInetSocketCoreExtended::GetLocalPort() {
  TReadLock guard(lock_);
  return core_.LocalPort;
}
void TInetSocketCoreExtended::SetLocalPort(int v) {
  TWriteLock guard(lock_);
  core_.LocalPort = v;
}
std::string TInetSocketCoreExtended::GetRemoteHost() {
  TReadLock guard(lock_);
  return core_.RemoteHost;
}
void TInetSocketCoreExtended::SetRemoteHost(const std::string& v) {
  TWriteLock guard(lock_);
  core_.RemoteHost = v;
}
int TInetSocketCoreExtended::GetRemotePort() {
  TReadLock guard(lock_);
  return core_.RemotePort;
}
void TInetSocketCoreExtended::SetRemotePort(int v) {
  TWriteLock guard(lock_);
  core_.RemotePort = v;
}
bool TInetSocketCoreExtended::IsAllocated() {
  TReadLock guard(lock_);
  return core_.IsAllocated();
}
bool TInetSocketCoreExtended::IsBound() {
  TReadLock guard(lock_);
  return core_.Bound();
}
bool TInetSocketCoreExtended::IsConnected() {
  TReadLock guard(lock_);
  return core_.Connected();
}
int TInetSocketCoreExtended::Kind() {
  TReadLock guard(lock_);
  return core_.Kind();
}

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
      const int r = poll(p, fd >= 0 ? 2 : 1, -1);
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
