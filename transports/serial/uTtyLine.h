#pragma once
// What the serial port and the FTDI kernel backend share about a terminal device.
#include <cstdint>
#include <string>

namespace korvan::transport {

// What the serial port and the FTDI kernel backend share about a terminal
// device, beside the line settings of uTermios2.

// Opens the terminal non-blocking for this process alone (flock, so that a
// line another program holds is "in use"). The descriptor, or -1 with errno
// set (EWOULDBLOCK for a line in use).
int OpenTtyExclusive(const std::string& path);

// The modem status bits 0x10 CTS, 0x20 DSR, 0x40 ring, 0x80 DCD. A line
// without modem control (a pseudo-terminal) reads every line false.
uint32_t TtyModemStatus(int fd);

// Asserts or clears DTR and RTS. A line without modem control (a
// pseudo-terminal answers ENOTTY or EINVAL) ignores it; false when the device
// refuses otherwise.
bool TtySetControlLines(int fd, bool dtr, bool rts);

// errno values that mean the device has gone (an unplugged adapter, a closed
// pseudo-terminal master) or was never there.
bool IsTtyGoneError(int error);

// One wait of a line's event thread: until the line (when watched) is
// readable or hung up, `wakeFd` (an eventfd, drained here) is signalled, or
// `timeoutMs` (-1: never) passes. A failed poll pauses briefly, so that a
// persistent error cannot spin the thread.
struct TTtyWait {
  bool ok = false;        // false: poll failed (or was interrupted)
  bool timedOut = false;  // nothing happened within the time-out
  short line = 0;         // the line's poll events
};
TTtyWait WaitTtyOrWake(int wakeFd, int line, bool watchLine, int timeoutMs);

}  // namespace korvan::transport
