#pragma once
// Line settings applied to a terminal through termios2, which allows any rate.
#include <cstdint>

namespace korvan::transport {

// Line settings as the serial transports hold them.
struct TLineSettings {
  uint32_t BaudRate = 9600;
  int DataBits = 8;  // 5 to 8 on Linux
  int Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  int StopBits = 0;  // 0 one, 1 one and a half (sent as two), 2 two
};

// Raw mode, no flow control, the receiver on, modem control lines ignored,
// and the settings above with any integer rate (termios2, BOTHER). False
// when the kernel refuses them or a value has no Linux counterpart.
bool ApplyLineSettings(int fd, const TLineSettings& settings);

// Reads the settings back and tells whether the driver took them: the same
// data bits, parity and stop bits (one and a half as two), and a rate within
// 2 % of the one asked for. A driver that cannot do a setting replaces it
// (a pseudo-terminal forces 8 bits without parity).
bool LineSettingsTaken(int fd, const TLineSettings& settings);

// Discards what waits in the kernel's queues.
void FlushPort(int fd, bool input, bool output);

}  // namespace korvan::transport
