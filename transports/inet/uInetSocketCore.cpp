#include "transports/inet/uInetSocketCore.h"

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
}  // namespace

int InetSocketLastError() { return errno; }

// ---- TInetSocketCore --------------------------------------------------------

TInetSocketCore::TInetSocketCore() : LocalAddress("0.0.0.0") {
  abortFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  abortError_ = abortFd_ < 0 ? errno : 0;
}

TInetSocketCore::~TInetSocketCore() {
  Close();
  if (abortFd_ >= 0) ::close(abortFd_);
}

bool TInetSocketCore::Allocate(int kind) {
  std::lock_guard<std::recursive_mutex> lock(allocation_);
  if (IsAllocated()) Close();
  if (abortFd_ < 0) {
    // Without it a connect could not be given up: no socket (out of descriptors).
    errno = abortError_;
    return false;
  }
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
    : lock_("TInetSocketCoreExtended"), wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  wakeError_ = wakeFd_ < 0 ? errno : 0;
}

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
  if (wakeFd_ < 0) {
    // The work thread could not be woken for it: no socket.
    errno = wakeError_;
    return false;
  }
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

}  // namespace korvan::transport
