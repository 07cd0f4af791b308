#pragma once
// Loopback peers for the socket tests, on 127.0.0.1 at ports the system picks.
// Listeners, datagram sockets and a listener that never answers a connect.
// Everything here closes what it opened when it goes.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>
#include "support/TWait.h"


namespace korvan::test::loopback {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

inline long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Owns one descriptor.
class TFd {
 public:
  TFd() = default;
  explicit TFd(int fd) : fd_(fd) {}
  TFd(TFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  TFd& operator=(TFd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  ~TFd() { Reset(); }
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

inline sockaddr_in LoopbackAddress(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

inline int LocalPortOf(int fd) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
  return ntohs(a.sin_port);
}

inline TFd BoundSocket(int type, int port = 0) {
  TFd fd(socket(AF_INET, type | SOCK_CLOEXEC, 0));
  const sockaddr_in a = LoopbackAddress(port);
  if (!fd.Valid() || bind(fd.Get(), reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) return TFd();
  return fd;
}

// A UDP port that was free a moment ago: bound at port 0, then released.
inline int FreeUdpPort() {
  TFd fd = BoundSocket(SOCK_DGRAM);
  return fd.Valid() ? LocalPortOf(fd.Get()) : 0;
}

inline bool Readable(int fd, std::chrono::milliseconds bound) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, static_cast<int>(bound.count())) > 0;
}

inline bool SendAll(int fd, const std::string& bytes) {
  return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

// Reads until `count` bytes have come or `bound` has passed.
inline std::string ReceiveBytes(int fd, size_t count, std::chrono::milliseconds bound = 5s) {
  std::string got;
  const auto deadline = Clock::now() + bound;
  while (got.size() < count && Clock::now() < deadline) {
    if (!Readable(fd, 10ms)) continue;
    char buffer[512];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n <= 0) break;
    got.append(buffer, static_cast<size_t>(n));
  }
  return got;
}

// True once the other end has ended the stream (end of file or reset).
inline bool WaitForEndOfStream(int fd, std::chrono::milliseconds bound = 5s) {
  const auto deadline = Clock::now() + bound;
  while (Clock::now() < deadline) {
    if (!Readable(fd, 10ms)) continue;
    char c;
    const ssize_t n = ::recv(fd, &c, 1, MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) return true;
  }
  return false;
}

// A TCP listener on 127.0.0.1.
class TLoopbackListener {
 public:
  explicit TLoopbackListener(int backlog = 8) : fd_(BoundSocket(SOCK_STREAM)) {
    if (fd_.Valid() && listen(fd_.Get(), backlog) != 0) fd_.Reset();
    if (fd_.Valid()) port_ = LocalPortOf(fd_.Get());
  }
  bool Ready() const { return port_ != 0; }
  int Port() const { return port_; }
  int Fd() const { return fd_.Get(); }
  // The next connection within `bound`, or an invalid descriptor.
  TFd Accept(std::chrono::milliseconds bound = 5s) {
    if (!Readable(fd_.Get(), bound)) return TFd();
    return TFd(accept4(fd_.Get(), nullptr, nullptr, SOCK_CLOEXEC));
  }
  // A connection waits to be accepted right now.
  bool HasPending() { return Readable(fd_.Get(), 0ms); }

 private:
  TFd fd_;
  int port_ = 0;
};

// A TCP port on which nothing listens, so a connect to it is refused. The
// port stays bound for the object's life so that nobody else takes it.
class TRefusingPort {
 public:
  TRefusingPort() : fd_(BoundSocket(SOCK_STREAM)) {
    if (fd_.Valid()) port_ = LocalPortOf(fd_.Get());
  }
  int Port() const { return port_; }

 private:
  TFd fd_;
  int port_ = 0;
};

// A loopback listener that never answers a connect: listen backlog 0 and
// its accept queue already full with a parked connection that is never
// accepted, so the kernel drops the next SYN and a connect to it waits.
class TFullBacklogListener {
 public:
  TFullBacklogListener() : listener_(0) {
    if (!listener_.Ready()) return;
    // Park connections until one stays unanswered; that one proves the
    // queue is full and is dropped again.
    for (int i = 0; i < 4 && !ready_; ++i) {
      TFd client(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
      const sockaddr_in a = LoopbackAddress(listener_.Port());
      const int r = ::connect(client.Get(), reinterpret_cast<const sockaddr*>(&a), sizeof a);
      if (r != 0 && errno != EINPROGRESS) return;
      pollfd p{client.Get(), POLLOUT, 0};
      if (r == 0 || poll(&p, 1, 200) > 0) {
        int error = 0;
        socklen_t len = sizeof error;
        getsockopt(client.Get(), SOL_SOCKET, SO_ERROR, &error, &len);
        if (error != 0) return;
        parked_.push_back(std::move(client));
      } else {
        ready_ = !parked_.empty();
      }
    }
  }
  bool Ready() const { return ready_; }
  int Port() const { return listener_.Port(); }

 private:
  TLoopbackListener listener_;
  std::vector<TFd> parked_;
  bool ready_ = false;
};

// A connect from this process to 127.0.0.1:port is waiting for its answer
// (state SYN-SENT in the kernel's table).
inline bool ConnectPendingTo(int port) {
  std::ifstream table("/proc/net/tcp");
  std::string line;
  std::getline(table, line);  // header
  char wanted[8];
  std::snprintf(wanted, sizeof wanted, ":%04X", port);
  while (std::getline(table, line)) {
    char local[64], remote[64], state[8];
    if (std::sscanf(line.c_str(), "%*s %63s %63s %7s", local, remote, state) != 3) continue;
    const std::string r = remote;
    if (r.size() >= 5 && r.compare(r.size() - 5, 5, wanted) == 0 && std::string(state) == "02") return true;
  }
  return false;
}

// A UDP socket on 127.0.0.1.
class TUdpPeer {
 public:
  TUdpPeer() : fd_(BoundSocket(SOCK_DGRAM)) {
    if (fd_.Valid()) port_ = LocalPortOf(fd_.Get());
  }
  bool Ready() const { return port_ != 0; }
  int Port() const { return port_; }
  bool SendTo(int port, const std::string& bytes) {
    const sockaddr_in a = LoopbackAddress(port);
    return ::sendto(fd_.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&a),
                    sizeof a) == static_cast<ssize_t>(bytes.size());
  }
  struct TDatagram {
    std::string data;
    int fromPort = 0;
  };
  // The next datagram within `bound`.
  std::optional<TDatagram> Receive(std::chrono::milliseconds bound = 5s) {
    if (!Readable(fd_.Get(), bound)) return std::nullopt;
    char buffer[2048];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n =
        ::recvfrom(fd_.Get(), buffer, sizeof buffer, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0) return std::nullopt;
    return TDatagram{std::string(buffer, static_cast<size_t>(n)), ntohs(from.sin_port)};
  }

 private:
  TFd fd_;
  int port_ = 0;
};

}  // namespace korvan::test::loopback
