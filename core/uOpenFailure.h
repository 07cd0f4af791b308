#pragma once
// Why a line could not be opened, found out after the open failed, in words an operator can act on.
#include <string>

namespace duomat {

enum class TOpenFailureKind {
  Unknown,      // nothing found that explains it
  NoComDevice,  // COMn maps to no device node
  Missing,      // the node does not exist
  NotAPort,     // the node is not a terminal
  NoAccess,     // the user may not open the node (Group, or Rule, says who may)
  Busy,         // another program holds the port
  NoConverter,  // no FTDI converter with that serial number
  NoHidDevice,  // no HID device with that VID:PID
  UnknownHost,  // the host name does not resolve
  Refused,      // nothing listens on host:port
  NoRoute,      // the network or host cannot be reached
  NoAnswer,     // the host did not answer within TimeoutMs
  LocalBusy,    // the local UDP port is taken
  LocalForeign, // the local address is not one of this machine's
};

struct TOpenFailure {
  TOpenFailureKind Kind = TOpenFailureKind::Unknown;
  std::string Device;  // the node, "COMn", "host:port", a serial number, "VID:PID"
  std::string Port;    // "COMn" beside a node, when the line named a COM number
  std::string Group;   // NoAccess: the group that owns the node, when it is not root
  bool HidRule = false;  // NoAccess without a group: Duomat's HID rule grants it, else a udev rule must
  int TimeoutMs = 0;   // NoAnswer
};

// Looks at the line's device or host again. For TCP that is one more
// connection attempt, bounded by the line's ConnectionTimeout and 2 s.
TOpenFailure DiagnoseOpenFailure(const std::string& connection);

// The diagnosis in English words ("no access to /dev/ttyUSB0: it belongs to
// the group dialout; ..."); empty for Unknown.
std::string OpenFailureText(const TOpenFailure& failure);

// Both in one: the reason a command line or a log shows.
std::string OpenFailureReason(const std::string& connection);

}  // namespace duomat
