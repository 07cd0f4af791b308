#include "core/uOpenFailure.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

#include "comm/uci_ConnectionString.h"
#include "core/uComPortScannerCore.h"
#include "core/uPortList.h"
#include "core/uText.h"
#include "platform/uSysfs.h"
#include "transports/ftdi/uFTD2XXKernel.h"
#include "transports/serial/uComPortMap.h"
#include "transports/serial/uTtyLine.h"

namespace duomat {

namespace {
constexpr int kProbeBoundMs = 2000;

TOpenFailure Fail(TOpenFailureKind kind, const std::string& device) {
  TOpenFailure f;
  f.Kind = kind;
  f.Device = device;
  return f;
}

std::string GroupOf(const std::string& node) {
  struct stat st {};
  if (stat(node.c_str(), &st) != 0) return {};
  const group* g = getgrgid(st.st_gid);
  return g ? g->gr_name : std::to_string(st.st_gid);
}

TOpenFailure Denied(const std::string& node, bool hid) {
  TOpenFailure f = Fail(TOpenFailureKind::NoAccess, node);
  const std::string group = GroupOf(node);
  if (!group.empty() && group != "root")
    f.Group = group;
  else
    f.HidRule = hid;
  return f;
}

std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return s;
}

// A tty node as the serial transport would open it: missing, refused, held.
TOpenFailure TtyNode(const std::string& node) {
  struct stat st {};
  if (stat(node.c_str(), &st) != 0) return Fail(TOpenFailureKind::Missing, node);
  if (NodeDenied(node)) return Denied(node, false);
  if (!S_ISCHR(st.st_mode)) return Fail(TOpenFailureKind::NotAPort, node);
  const int fd = korvan::transport::OpenTtyExclusive(node);
  if (fd >= 0) {
    const bool tty = isatty(fd) == 1;
    close(fd);
    return tty ? TOpenFailure{} : Fail(TOpenFailureKind::NotAPort, node);
  }
  if (errno == EBUSY || errno == EWOULDBLOCK) return Fail(TOpenFailureKind::Busy, node);
  if (errno == ENOTTY || errno == ENXIO || errno == ENODEV || errno == EIO) return Fail(TOpenFailureKind::NotAPort, node);
  return {};
}

bool Ipv4(const std::string& host, in_addr& a) { return inet_pton(AF_INET, host.c_str(), &a) == 1; }

// One non-blocking connect, as the TCP client makes it.
TOpenFailure TcpPeer(const std::string& connection) {
  const std::string host = korvan::GetConnectionValue(connection, "host", "");
  const int32_t port = korvan::GetConnectionInteger(connection, "port", 0);
  const int32_t timeout = korvan::GetConnectionInteger(connection, "ConnectionTimeout", 5000);
  const std::string device = host + ":" + std::to_string(port);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  if (!Ipv4(host, a.sin_addr)) return Fail(TOpenFailureKind::UnknownHost, host);
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return {};
  const int bound = std::clamp<int>(timeout, 1, kProbeBoundMs);
  int error = 0;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
    error = errno;
    if (error == EINPROGRESS) {
      pollfd p{fd, POLLOUT, 0};
      int r;
      do r = poll(&p, 1, bound);
      while (r < 0 && errno == EINTR);
      if (r == 0) {
        error = ETIMEDOUT;
      } else {
        socklen_t len = sizeof error;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0) error = errno;
      }
    }
  }
  close(fd);
  switch (error) {
    case 0: return {};
    case ECONNREFUSED: return Fail(TOpenFailureKind::Refused, device);
    case ENETUNREACH:
    case EHOSTUNREACH:
    case EADDRNOTAVAIL: return Fail(TOpenFailureKind::NoRoute, host);
    case ETIMEDOUT: {
      TOpenFailure f = Fail(TOpenFailureKind::NoAnswer, device);
      f.TimeoutMs = bound;
      return f;
    }
    default: return {};
  }
}

// The UDP client's open is a bind of its local end.
TOpenFailure UdpLocal(const std::string& connection) {
  const std::string local = korvan::GetConnectionValue(connection, "LocalIP", "0.0.0.0");
  const int32_t port = korvan::GetConnectionInteger(connection, "LocalPort", 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  if (!Ipv4(local, a.sin_addr)) return Fail(TOpenFailureKind::LocalForeign, local);
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return {};
  const int error = bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0 ? 0 : errno;
  close(fd);
  if (error == EADDRINUSE) return Fail(TOpenFailureKind::LocalBusy, local + ":" + std::to_string(port));
  if (error == EADDRNOTAVAIL) return Fail(TOpenFailureKind::LocalForeign, local);
  return {};
}
}  // namespace

TOpenFailure DiagnoseOpenFailure(const std::string& connection) {
  const std::string provider = Upper(korvan::GetConnectionValue(connection, "provider", ""));
  if (provider == "SERIAL_PORT") {
    const int32_t n = korvan::GetConnectionInteger(connection, "comport", 0);
    const std::string com = "COM" + std::to_string(n);
    const std::string node = korvan::transport::ComPortDevicePath(n);
    if (node.empty()) return Fail(TOpenFailureKind::NoComDevice, com);
    TOpenFailure f = TtyNode(node);
    if (f.Kind != TOpenFailureKind::Unknown) f.Port = com;
    return f;
  }
  if (provider == "FTD_USB") {
    const std::string serial = korvan::GetConnectionValue(connection, "serial_number", "");
    for (const auto& d : korvan::transport::KernelFTDevices())
      if (d.SerialNumber == serial) return TtyNode(korvan::DevDir() + "/" + d.Tty);
    for (const TListedConverter& c : ListConverters())
      if (c.SerialNumber == serial) return {};
    return Fail(TOpenFailureKind::NoConverter, serial);
  }
  if (provider == "HID") {
    const int32_t vid = korvan::GetConnectionInteger(connection, "vid", -1);
    const int32_t pid = korvan::GetConnectionInteger(connection, "pid", -1);
    bool present = false;
    for (const TListedHidDevice& d : ListHidDevices())
      if (d.VendorID == vid && d.ProductID == pid) {
        present = true;
        if (d.Denied) return Denied(d.Node, true);
      }
    if (!present) return Fail(TOpenFailureKind::NoHidDevice, UsbIdPair(vid, pid));
    return {};
  }
  if (provider == "TCP_CLIENT") return TcpPeer(connection);
  if (provider == "UDP_CLIENT") return UdpLocal(connection);
  return {};
}

std::string OpenFailureText(const TOpenFailure& f) {
  const std::string device = f.Port.empty() ? f.Device : f.Device + " (" + f.Port + ")";
  switch (f.Kind) {
    case TOpenFailureKind::Unknown: return {};
    case TOpenFailureKind::NoComDevice:
      return Tr(DUOMAT_TR_EN("OpenFailure", "%1 stands for no device"), f.Device);
    case TOpenFailureKind::Missing:
      return Tr(DUOMAT_TR_EN("OpenFailure", "%1 does not exist"), device);
    case TOpenFailureKind::NotAPort:
      return Tr(DUOMAT_TR_EN("OpenFailure", "%1 is not a serial port"), device);
    case TOpenFailureKind::NoAccess:
      if (!f.Group.empty())
        return Tr(DUOMAT_TR_EN("OpenFailure",
                               "no access to %1: it belongs to the group %2 (sudo usermod -aG %2 "
                               "$USER, then log in again)"),
                  f.Device, f.Group);
      if (f.HidRule)
        return Tr(DUOMAT_TR_EN("OpenFailure",
                               "no access to %1: the rule 70-duomat.rules of the Duomat package "
                               "gives it to the group plugdev"),
                  f.Device);
      return Tr(DUOMAT_TR_EN("OpenFailure",
                             "no access to %1: a udev rule must give a group of yours the node "
                             "(see duomat-cli ports)"),
                f.Device);
    case TOpenFailureKind::Busy:
      return Tr(DUOMAT_TR_EN("OpenFailure", "%1 is in use by another program"), device);
    case TOpenFailureKind::NoConverter:
      return Tr(
          DUOMAT_TR_EN(
              "OpenFailure",
              "no FTDI converter with the serial number %1 is plugged in (see duomat-cli ports)"),
          f.Device);
    case TOpenFailureKind::NoHidDevice:
      return Tr(
          DUOMAT_TR_EN("OpenFailure", "no HID device %1 is plugged in (see duomat-cli ports)"),
          f.Device);
    case TOpenFailureKind::UnknownHost:
      return Tr(
          DUOMAT_TR_EN("OpenFailure", "%1 is not an IPv4 address (host names are not looked up)"),
          f.Device);
    case TOpenFailureKind::Refused:
      return Tr(
          DUOMAT_TR_EN("OpenFailure", "%1 refused the connection (nothing listens on that port)"),
          f.Device);
    case TOpenFailureKind::NoRoute:
      return Tr(DUOMAT_TR_EN("OpenFailure", "no route to %1"), f.Device);
    case TOpenFailureKind::NoAnswer:
      return Tr(DUOMAT_TR_EN("OpenFailure",
                             "%1 did not answer within %2 ms (a wrong address or a firewall)"),
                f.Device, f.TimeoutMs);
    case TOpenFailureKind::LocalBusy:
      return Tr(DUOMAT_TR_EN("OpenFailure", "the local port %1 is in use by another program"),
                f.Device);
    case TOpenFailureKind::LocalForeign:
      return Tr(DUOMAT_TR_EN("OpenFailure", "%1 is not an address of this machine"), f.Device);
  }
  return {};
}

std::string OpenFailureReason(const std::string& connection) { return OpenFailureText(DiagnoseOpenFailure(connection)); }

}  // namespace duomat
