#include "platform/uTerminalForwarder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace korvan {

namespace {
constexpr int kRoomWaitMs = 5;
}

std::string TerminalSocketPath() {
  const char* dir = std::getenv("XDG_RUNTIME_DIR");
  std::string path = (dir && *dir) ? dir : "/tmp";
  if (path.back() != '/') path += '/';
  return path + "TfMainKorvanTerm";
}

namespace {
// One socket for the process, connected to the terminal while it listens:
// traffic is forwarded chunk by chunk, and a socket per chunk cost more than
// the chunk. A terminal that is gone or restarted is connected to afresh.
class TTerminalLink {
 public:
  ~TTerminalLink() { Drop(); }

  bool Send(std::string_view payload) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string path = TerminalSocketPath();
    if (path != path_) Drop();
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (fd_ < 0 && !Connect(path)) return false;
      const int result = SendOnce(payload);
      if (result >= 0) return result > 0;
      Drop();  // the listener went away (or was replaced): connect again
    }
    return false;
  }

 private:
  bool Connect(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    // Connecting fails at once when nobody listens; a connected datagram
    // socket also lets poll() tell when the listener has room again.
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      close(fd);
      return false;
    }
    fd_ = fd;
    path_ = path;
    return true;
  }

  // 1 sent, 0 no room in time, -1 the connection is broken.
  int SendOnce(std::string_view payload) {
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (send(fd_, payload.data(), payload.size(), MSG_DONTWAIT | MSG_NOSIGNAL) >= 0) return 1;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
      pollfd p{fd_, POLLOUT, 0};
      if (poll(&p, 1, kRoomWaitMs) <= 0) return 0;
    }
    return 0;
  }

  void Drop() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    path_.clear();
  }

  std::mutex mutex_;
  int fd_ = -1;
  std::string path_;
};
}  // namespace

bool ForwardToTerminal(std::string_view payload) {
  // Never destroyed: traffic may still be forwarded while statics go at exit.
  static TTerminalLink* link = new TTerminalLink();
  return link->Send(payload);
}

}  // namespace korvan
