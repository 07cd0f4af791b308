#include "transports/serial/uTtyLine.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace korvan::transport {

int OpenTtyExclusive(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int e = errno;
    ::close(fd);
    errno = e;
    return -1;
  }
  return fd;
}

uint32_t TtyModemStatus(int fd) {
  int bits = 0;
  if (fd < 0 || ioctl(fd, TIOCMGET, &bits) != 0) return 0;
  uint32_t status = 0;
  if (bits & TIOCM_CTS) status |= 0x10;
  if (bits & TIOCM_DSR) status |= 0x20;
  if (bits & TIOCM_RI) status |= 0x40;
  if (bits & TIOCM_CD) status |= 0x80;
  return status;
}

bool TtySetControlLines(int fd, bool dtr, bool rts) {
  if (fd < 0) return false;
  for (const auto& [bit, on] : {std::pair{TIOCM_DTR, dtr}, std::pair{TIOCM_RTS, rts}}) {
    const int value = bit;
    if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &value) != 0 && errno != ENOTTY && errno != EINVAL) return false;
  }
  return true;
}

bool IsTtyGoneError(int error) { return error == EIO || error == ENXIO || error == ENODEV; }

TTtyWait WaitTtyOrWake(int wakeFd, int line, bool watchLine, int timeoutMs) {
  pollfd fds[2] = {{wakeFd, POLLIN, 0}, {line, POLLIN, 0}};
  const int r = poll(fds, watchLine ? 2 : 1, timeoutMs);
  TTtyWait result;
  if (r < 0) {
    if (errno != EINTR) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return result;
  }
  if (fds[0].revents & POLLIN) {
    uint64_t wakes;
    const ssize_t n = ::read(wakeFd, &wakes, sizeof wakes);
    (void)n;
  }
  result.ok = true;
  result.timedOut = r == 0;
  result.line = watchLine ? fds[1].revents : 0;
  return result;
}

}  // namespace korvan::transport
