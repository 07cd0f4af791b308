#include "platform/uTerminalForwarder.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace korvan {

namespace {
std::atomic<uint64_t> g_dropped{0};

const char* RuntimeDir() {
  const char* dir = std::getenv("XDG_RUNTIME_DIR");
  return dir && *dir ? dir : nullptr;
}
}  // namespace

std::string TerminalSocketDir() {
  if (const char* dir = RuntimeDir()) {
    std::string path = dir;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
  }
  return "/tmp/duomat-" + std::to_string(getuid());
}

std::string TerminalSocketPath() { return TerminalSocketDir() + "/TfMainKorvanTerm"; }

uint64_t TerminalDroppedCount() { return g_dropped.load(); }

bool IsPrivateDir(const std::string& dir, uid_t uid, bool create) {
  if (create && mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st{};
  return lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid && (st.st_mode & 07777) == 0700;
}

bool IsOwnSocket(const std::string& path, uid_t uid) {
  struct stat st{};
  return lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_uid == uid;
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
      if (send(fd_, payload.data(), payload.size(), MSG_DONTWAIT | MSG_NOSIGNAL) >= 0) return true;
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS) {
        ++g_dropped;  // a listener that does not keep up never holds the traffic
        return false;
      }
      Drop();  // the listener went away (or was replaced): connect again
    }
    return false;
  }

 private:
  bool Connect(const std::string& path) {
    // Only into a folder nobody else may enter, only to a socket of ours.
    const uid_t uid = getuid();
    if (!IsPrivateDir(TerminalSocketDir(), uid, RuntimeDir() == nullptr) || !IsOwnSocket(path, uid)) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    // Connecting fails at once when nobody listens.
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      close(fd);
      return false;
    }
    fd_ = fd;
    path_ = path;
    return true;
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
