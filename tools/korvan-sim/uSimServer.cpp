#include "tools/korvan-sim/uSimServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "tools/korvan-sim/uFrameCutter.h"

namespace korvan::sim {

namespace {
constexpr int kQuietMs = 50;  // the module's inter-byte time-out

sockaddr_in ParseAddress(const std::string& hostPort) {
  const auto colon = hostPort.rfind(':');
  if (colon == std::string::npos) throw std::runtime_error("expected HOST:PORT, got " + hostPort);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  if (inet_pton(AF_INET, hostPort.substr(0, colon).c_str(), &a.sin_addr) != 1)
    throw std::runtime_error("not a numeric IPv4 address: " + hostPort.substr(0, colon));
  char* end = nullptr;
  const long port = std::strtol(hostPort.c_str() + colon + 1, &end, 10);
  if (*end != '\0' || port < 0 || port > 65535) throw std::runtime_error("bad port in " + hostPort);
  a.sin_port = htons(static_cast<uint16_t>(port));
  return a;
}

std::string Describe(int fd, const char* kind) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  char host[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &a.sin_addr, host, sizeof host);
  return std::string(kind) + " " + host + ":" + std::to_string(ntohs(a.sin_port));
}

void WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == ENOTSOCK) {
      const ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
      if (w > 0) {
        done += static_cast<size_t>(w);
        continue;
      }
      if (w < 0 && errno == EAGAIN) {
        pollfd p{fd, POLLOUT, 0};
        poll(&p, 1, 100);
        continue;
      }
      return;
    }
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno == EAGAIN) {
      pollfd p{fd, POLLOUT, 0};
      poll(&p, 1, 100);
    } else {
      return;
    }
  }
}
}  // namespace

struct TSimServer::TStream {
  int fd;
  bool socket;
  TFrameCutter cutter;
  bool hid = false;  // one message is one report
  int answers = 0;
};

TSimServer::~TSimServer() { Close(); }

void TSimServer::Close() {
  for (TStream* s : streams_) {
    if (s->socket) ::close(s->fd);
    delete s;
  }
  streams_.clear();
  for (int* fd : {&ptyMaster_, &ptySlave_, &tcpListen_, &udp_}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
  if (!link_.empty()) {
    ::unlink(link_.c_str());
    link_.clear();
  }
  hid_.reset();
}

std::string TSimServer::OpenPty(const std::string& link) {
  ptyMaster_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (ptyMaster_ < 0 || grantpt(ptyMaster_) != 0 || unlockpt(ptyMaster_) != 0)
    throw std::runtime_error(std::string("cannot open a pseudo-terminal: ") + std::strerror(errno));
  const char* name = ptsname(ptyMaster_);
  if (!name) throw std::runtime_error("no pseudo-terminal name");
  const std::string slave = name;
  ptySlave_ = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (ptySlave_ >= 0) {
    termios t{};
    if (tcgetattr(ptySlave_, &t) == 0) {
      cfmakeraw(&t);
      tcsetattr(ptySlave_, TCSANOW, &t);
    }
  }
  fcntl(ptyMaster_, F_SETFL, fcntl(ptyMaster_, F_GETFL) | O_NONBLOCK);
  if (!link.empty()) {
    ::unlink(link.c_str());
    if (::symlink(slave.c_str(), link.c_str()) != 0)
      throw std::runtime_error("cannot create link " + link + ": " + std::strerror(errno));
    link_ = link;
  }
  streams_.push_back(new TStream{ptyMaster_, false, {}});
  return "pty " + slave;
}

std::string TSimServer::ListenTcp(const std::string& hostPort) {
  const sockaddr_in a = ParseAddress(hostPort);
  tcpListen_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  const int one = 1;
  setsockopt(tcpListen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (bind(tcpListen_, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 || listen(tcpListen_, 8) != 0)
    throw std::runtime_error("cannot listen on " + hostPort + ": " + std::strerror(errno));
  return Describe(tcpListen_, "tcp");
}

std::string TSimServer::BindUdp(const std::string& hostPort) {
  const sockaddr_in a = ParseAddress(hostPort);
  udp_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (bind(udp_, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0)
    throw std::runtime_error("cannot bind " + hostPort + ": " + std::strerror(errno));
  return Describe(udp_, "udp");
}

std::string TSimServer::ServeHid(const std::string& dir, const THidIdentity& identity) {
  hid_ = std::make_unique<THidSimDevice>(dir, identity);
  return "hid " + hid_->Node();
}

void TSimServer::WriteAnswer(int fd, const TAnswer& answer, bool hid) {
  for (const TPiece& piece : answer.Pieces) {
    if (piece.PauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(piece.PauseMs));
    if (!hid) {
      WriteAll(fd, piece.Bytes);
      continue;
    }
    for (const std::string& report : THidSimDevice::Reports(piece.Bytes)) WriteAll(fd, report);
  }
}

bool TSimServer::Serve(TStream& stream, const std::vector<std::string>& frames) {
  for (const std::string& frame : frames) {
    // Only a pseudo-terminal has a speed that modules may not hear at.
    const TAnswer answer = bus_.Answer(frame, stream.socket ? 0 : LineRate(stream.fd));
    if (answer.Empty()) continue;
    WriteAnswer(stream.fd, answer, stream.hid);
    if (closeAfter_ > 0 && ++stream.answers >= closeAfter_) return true;
  }
  return false;
}

void TSimServer::CloseStream(TStream* stream) {
  streams_.erase(std::find(streams_.begin(), streams_.end(), stream));
  if (stream->socket) {
    ::close(stream->fd);
  } else {
    // Hanging up: with both ends of ours closed the client's side reads EIO.
    for (int* fd : {&ptyMaster_, &ptySlave_}) {
      if (*fd >= 0) ::close(*fd);
      *fd = -1;
    }
  }
  delete stream;
}

void TSimServer::Run() {
  while (!stop_.load()) {
    std::vector<pollfd> fds;
    if (stopFd_ >= 0) fds.push_back({stopFd_, POLLIN, 0});
    if (tcpListen_ >= 0) fds.push_back({tcpListen_, POLLIN, 0});
    if (udp_ >= 0) fds.push_back({udp_, POLLIN, 0});
    if (hid_) fds.push_back({hid_->ListenFd(), POLLIN, 0});
    const size_t firstStream = fds.size();
    for (TStream* s : streams_) fds.push_back({s->fd, POLLIN, 0});

    const int r = poll(fds.data(), fds.size(), kQuietMs);
    if (r < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (r == 0) {
      // The line went quiet: give up on an unfinished frame start.
      for (TStream* s : std::vector<TStream*>(streams_))
        if (s->cutter.Pending() > 0 && Serve(*s, s->cutter.Expire())) CloseStream(s);
      continue;
    }
    for (const pollfd& p : fds) {
      if (!(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
      if (p.fd == stopFd_) {
        stop_.store(true);
      } else if (p.fd == tcpListen_) {
        const int c = accept4(tcpListen_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (c >= 0) {
          // An answer written in pieces (--noise, --split, --notice-first)
          // must not wait for the client's delayed acknowledgement.
          const int one = 1;
          setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
          streams_.push_back(new TStream{c, true, {}});
        }
      } else if (hid_ && p.fd == hid_->ListenFd()) {
        const int c = accept4(p.fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (c >= 0) streams_.push_back(new TStream{c, true, {}, true});
      } else if (p.fd == udp_) {
        char buffer[65536];
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n = recvfrom(udp_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n <= 0) continue;
        TFrameCutter cutter;
        std::vector<std::string> frames = cutter.Feed(std::string_view(buffer, static_cast<size_t>(n)));
        for (const std::string& frame : cutter.Expire()) frames.push_back(frame);
        for (const std::string& frame : frames) {
          const TAnswer answer = bus_.Answer(frame, 0);
          for (const TPiece& piece : answer.Pieces) {
            if (piece.PauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(piece.PauseMs));
            sendto(udp_, piece.Bytes.data(), piece.Bytes.size(), 0, reinterpret_cast<const sockaddr*>(&from), len);
          }
        }
      }
    }
    // Streams last: accepting may have added one, closing removes it.
    for (size_t i = firstStream; i < fds.size(); ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      auto it = std::find_if(streams_.begin(), streams_.end(), [&](TStream* s) { return s->fd == fds[i].fd; });
      if (it == streams_.end()) continue;
      TStream* s = *it;
      char buffer[4096];
      const ssize_t n = ::read(s->fd, buffer, sizeof buffer);
      if (n > 0) {
        const std::string bytes(buffer, static_cast<size_t>(n));
        if (Serve(*s, s->cutter.Feed(s->hid ? THidSimDevice::Payload(bytes) : bytes))) CloseStream(s);
      } else if (s->socket && (n == 0 || (errno != EAGAIN && errno != EINTR))) {
        CloseStream(s);
      } else if (!s->socket && n < 0 && errno == EIO) {
        // No client has the terminal open: wait for the next one.
        std::this_thread::sleep_for(std::chrono::milliseconds(kQuietMs));
      }
    }
  }
  Close();
}

}  // namespace korvan::sim
