#include "platform/uTerminalForwarder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
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

bool ForwardToTerminal(std::string_view payload) {
  const std::string path = TerminalSocketPath();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

  const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  bool sent = false;
  // Connecting fails at once when nobody listens; a connected datagram socket
  // also lets poll() tell when the listener has room again.
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    for (int attempt = 0; attempt < 2 && !sent; ++attempt) {
      const ssize_t n = send(fd, payload.data(), payload.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
      if (n >= 0) {
        sent = true;
      } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, kRoomWaitMs) <= 0) break;
      } else {
        break;
      }
    }
  }
  close(fd);
  return sent;
}

}  // namespace korvan
