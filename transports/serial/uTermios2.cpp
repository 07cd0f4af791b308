// The kernel's termios2 declarations clash with glibc's <termios.h>, so
// everything that needs them lives in this file alone.
#include "transports/serial/uTermios2.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace korvan::transport {

bool ApplyLineSettings(int fd, const TLineSettings& s) {
  termios2 t{};
  if (ioctl(fd, TCGETS2, &t) != 0) return false;

  // No XON/XOFF, no parity checking, no translation; a break is dropped
  // rather than read as a 0x00 byte.
  t.c_iflag = IGNBRK;
  t.c_oflag = 0;
  t.c_lflag = 0;
  t.c_cflag &= ~(CBAUD | CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
  t.c_cflag |= CLOCAL | CREAD | BOTHER;
  switch (s.DataBits) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    case 8: t.c_cflag |= CS8; break;
    default: return false;  // Linux has no four-bit characters
  }
  switch (s.Parity) {
    case 0: break;
    case 1: t.c_cflag |= PARENB | PARODD; break;
    case 2: t.c_cflag |= PARENB; break;
    case 3: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case 4: t.c_cflag |= PARENB | CMSPAR; break;
    default: return false;
  }
  switch (s.StopBits) {
    case 0: break;
    case 1:  // one and a half does not exist here: two is the nearest
    case 2: t.c_cflag |= CSTOPB; break;
    default: return false;
  }
  t.c_ispeed = s.BaudRate;
  t.c_ospeed = s.BaudRate;
  t.c_cflag &= ~(CBAUD << IBSHIFT);
  t.c_cflag |= BOTHER << IBSHIFT;
  t.c_cc[VMIN] = 0;  // reads return at once with what has arrived
  t.c_cc[VTIME] = 0;
  return ioctl(fd, TCSETS2, &t) == 0;
}

bool LineSettingsTaken(int fd, const TLineSettings& s) {
  termios2 t{};
  if (ioctl(fd, TCGETS2, &t) != 0) return false;
  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  if (s.DataBits < 5 || s.DataBits > 8 || (t.c_cflag & CSIZE) != kSizes[s.DataBits - 5]) return false;
  static constexpr tcflag_t kParities[] = {0, PARENB | PARODD, PARENB, PARENB | CMSPAR | PARODD, PARENB | CMSPAR};
  const tcflag_t parity = t.c_cflag & PARENB ? t.c_cflag & (PARENB | PARODD | CMSPAR) : 0;
  if (s.Parity < 0 || s.Parity > 4 || parity != kParities[s.Parity]) return false;
  if (((t.c_cflag & CSTOPB) != 0) != (s.StopBits != 0)) return false;
  const uint64_t want = s.BaudRate, got = t.c_ospeed;
  return (got > want ? got - want : want - got) * 50 <= want;
}

void FlushPort(int fd, bool input, bool output) {
  if (input && output)
    ioctl(fd, TCFLSH, TCIOFLUSH);
  else if (input)
    ioctl(fd, TCFLSH, TCIFLUSH);
  else if (output)
    ioctl(fd, TCFLSH, TCOFLUSH);
}

}  // namespace korvan::transport
