#include "tools/korvan-sim/uSimServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/signalfd.h>
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
constexpr int kAcceptRestMs = 100;
// A client that reads nothing is sent no more than this, and is not read from
// until it takes some: the others are served meanwhile.
constexpr size_t kMaxQueuedBytes = 65536;

using TClock = std::chrono::steady_clock;

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
}  // namespace

struct TSimServer::TStream {
  int fd;
  bool socket;
  TFrameCutter cutter;
  bool hid = false;  // one message is one report
  TSimUhidDevice* uhid = nullptr;  // one event is one report
  int answers = 0;
  // What is still to go out, each after its pause; the first is due at readyAt.
  std::deque<TPiece> out{};
  size_t queued = 0;
  TClock::time_point readyAt{};
  bool closing = false;  // closed once the queue has gone out
  TClock::time_point lastInput{};

  bool Due(TClock::time_point now) const { return !out.empty() && now >= readyAt; }
  // Sends what is due without blocking; false when the peer has gone.
  bool Flush();
};

bool TSimServer::TStream::Flush() {
  while (Due(TClock::now())) {
    TPiece& piece = out.front();
    ssize_t n = socket ? ::send(fd, piece.Bytes.data(), piece.Bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT)
                       : ::write(fd, piece.Bytes.data(), piece.Bytes.size());
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) return true;
      // A pseudo-terminal nobody has open: what it was sent is lost, as on a line.
      if (!socket && errno == EIO) n = static_cast<ssize_t>(piece.Bytes.size());
      else return false;
    }
    queued -= static_cast<size_t>(n);
    piece.Bytes.erase(0, static_cast<size_t>(n));  // a report goes whole or not at all
    if (!piece.Bytes.empty()) return true;
    out.pop_front();
    if (!out.empty()) readyAt = TClock::now() + std::chrono::milliseconds(out.front().PauseMs);
  }
  return true;
}

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
  uhid_.reset();
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

std::string TSimServer::ServeUhid(const THidIdentity& identity, uint8_t reportId) {
  uhid_ = std::make_unique<TSimUhidDevice>(identity, reportId);
  const std::string name = uhid_->WaitForHidraw(5000);
  streams_.push_back(new TStream{uhid_->Fd(), false, {}});
  streams_.back()->uhid = uhid_.get();
  return "uhid /dev/" + name;
}

void TSimServer::WriteAnswer(TStream& stream, const TAnswer& answer) {
  for (const TPiece& piece : answer.Pieces) {
    std::vector<TPiece> pieces;
    if (!stream.hid && !stream.uhid) {
      pieces.push_back(piece);
    } else if (stream.hid) {
      // Every report a message of its own; the pause goes before the first.
      for (std::string& report : THidSimDevice::Reports(piece.Bytes))
        pieces.push_back({pieces.empty() ? piece.PauseMs : 0, std::move(report)});
    } else {
      for (const std::string& report : THidSimDevice::Reports(piece.Bytes, stream.uhid->ReportId()))
        pieces.push_back({pieces.empty() ? piece.PauseMs : 0, TSimUhidDevice::InputEvent(report)});
    }
    for (TPiece& p : pieces) {
      if (stream.out.empty()) stream.readyAt = TClock::now() + std::chrono::milliseconds(p.PauseMs);
      stream.queued += p.Bytes.size();
      stream.out.push_back(std::move(p));
    }
  }
}

bool TSimServer::Serve(TStream& stream, const std::vector<std::string>& frames) {
  for (const std::string& frame : frames) {
    // Only a pseudo-terminal has a speed that modules may not hear at.
    const TAnswer answer = bus_.Answer(frame, stream.socket || stream.uhid ? 0 : LineRate(stream.fd));
    if (answer.Empty()) continue;
    WriteAnswer(stream, answer);
    if (closeAfter_ > 0 && ++stream.answers >= closeAfter_) {
      stream.closing = true;
      break;
    }
  }
  // Closed at once only with nothing left to send.
  if (!stream.Flush()) return true;
  return stream.closing && stream.out.empty();
}

void TSimServer::CloseStream(TStream* stream) {
  streams_.erase(std::find(streams_.begin(), streams_.end(), stream));
  if (stream->socket) {
    ::close(stream->fd);
  } else if (stream->uhid) {
    uhid_.reset();  // the kernel removes the device: unplugged
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
    if (signalFd_ >= 0) fds.push_back({signalFd_, POLLIN, 0});
    const TClock::time_point now = TClock::now();
    TClock::time_point wake = now + std::chrono::milliseconds(kQuietMs);
    // Out of descriptors, a pending connection cannot be taken: the listeners
    // rest a while instead of waking the loop again at once.
    const bool accepting = now >= acceptAgainAt_;
    if (!accepting) wake = std::min(wake, acceptAgainAt_);
    if (tcpListen_ >= 0 && accepting) fds.push_back({tcpListen_, POLLIN, 0});
    if (udp_ >= 0) fds.push_back({udp_, POLLIN, 0});
    if (hid_ && accepting) fds.push_back({hid_->ListenFd(), POLLIN, 0});
    const size_t firstStream = fds.size();
    for (TStream* s : streams_) {
      // A client that does not take its answers is not read from meanwhile.
      short events = s->queued < kMaxQueuedBytes && !s->closing ? POLLIN : 0;
      if (s->Due(now)) events |= POLLOUT;
      else if (!s->out.empty()) wake = std::min(wake, s->readyAt);
      if (s->cutter.Pending() > 0) wake = std::min(wake, s->lastInput + std::chrono::milliseconds(kQuietMs));
      fds.push_back({s->fd, events, 0});
    }

    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(wake - now).count();
    const int r = poll(fds.data(), fds.size(), static_cast<int>(std::max<int64_t>(wait, 0)));
    if (r < 0) {
      if (errno == EINTR) continue;
      break;
    }
    // A stream whose line went quiet gives up on an unfinished frame start.
    for (TStream* s : std::vector<TStream*>(streams_))
      if (s->cutter.Pending() > 0 && TClock::now() - s->lastInput >= std::chrono::milliseconds(kQuietMs) &&
          Serve(*s, s->cutter.Expire()))
        CloseStream(s);
    if (r == 0) continue;
    for (const pollfd& p : fds) {
      if (!(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
      if (p.fd == signalFd_) {
        signalfd_siginfo info{};
        const bool user1 = ::read(signalFd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info) &&
                           info.ssi_signo == SIGUSR1;
        if (!user1) stop_.store(true);
        else if (onUser1_) onUser1_();
      } else if (p.fd == tcpListen_) {
        const int c = accept4(tcpListen_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (c < 0 && (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM))
          acceptAgainAt_ = TClock::now() + std::chrono::milliseconds(kAcceptRestMs);
        if (c >= 0) {
          // An answer written in pieces (--noise, --split, --notice-first)
          // must not wait for the client's delayed acknowledgement.
          const int one = 1;
          setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
          streams_.push_back(new TStream{c, true, {}});
        }
      } else if (hid_ && p.fd == hid_->ListenFd()) {
        const int c = accept4(p.fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (c < 0 && (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM))
          acceptAgainAt_ = TClock::now() + std::chrono::milliseconds(kAcceptRestMs);
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
      auto it = std::find_if(streams_.begin(), streams_.end(), [&](TStream* s) { return s->fd == fds[i].fd; });
      if (it == streams_.end()) continue;
      TStream* s = *it;
      if (fds[i].revents & POLLOUT) {
        if (!s->Flush() || (s->closing && s->out.empty())) {
          CloseStream(s);
          continue;
        }
      }
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buffer[TSimUhidDevice::MaxEventSize];
      const ssize_t n = ::read(s->fd, buffer, sizeof buffer);
      if (n > 0) {
        s->lastInput = TClock::now();
        std::string bytes(buffer, static_cast<size_t>(n));
        if (s->hid) bytes = THidSimDevice::Payload(bytes);
        if (s->uhid) bytes = TSimUhidDevice::Decode(bytes, s->uhid->ReportId());
        if (Serve(*s, s->cutter.Feed(bytes))) CloseStream(s);
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
