#include "core/uOpenFailure.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "support/TComPorts.h"

using namespace duomat;
using korvan::test::TComPorts;

namespace {
// A socket on 127.0.0.1 with a port the system picked; closed when it goes.
struct TLocalSocket {
  int fd = -1;
  int port = 0;
  explicit TLocalSocket(int type) {
    fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
      port = ntohs(a.sin_port);
  }
  ~TLocalSocket() { close(fd); }
};

int ClosedTcpPort() {
  TLocalSocket s(SOCK_STREAM);  // bound but not listening: connections are refused
  return s.port;
}
}  // namespace

TEST(OpenFailure, EachSerialCauseIsNamedWithItsNodeAndPort) {
  TComPorts machine;
  machine.AddDanglingLink(3);
  machine.AddTerminal(4, /*held=*/true);
  machine.AddTerminal(5);
  const std::string plain = machine.DevDir() + "/plain";
  std::ofstream(plain) << "not a port";
  ASSERT_EQ(symlink(plain.c_str(), machine.Link(6).c_str()), 0);

  struct TCase {
    int com;
    TOpenFailureKind kind;
    const char* ends;
  } const cases[] = {
      {200, TOpenFailureKind::NoComDevice, "COM200 stands for no device"},
      {3, TOpenFailureKind::Missing, "(COM3) does not exist"},
      {4, TOpenFailureKind::Busy, "(COM4) is in use by another program"},
      {6, TOpenFailureKind::NotAPort, "(COM6) is not a serial port"},
      {5, TOpenFailureKind::Unknown, ""},  // it opens now: nothing to say
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.com);
    const TOpenFailure f = DiagnoseOpenFailure("provider=SERIAL_PORT;comport=" + std::to_string(c.com));
    EXPECT_EQ(f.Kind, c.kind);
    const std::string text = OpenFailureText(f);
    EXPECT_EQ(text.substr(text.size() - std::min(text.size(), std::strlen(c.ends))), c.ends);
  }
  EXPECT_EQ(DiagnoseOpenFailure("provider=SERIAL_PORT;comport=5").Device, "");
}

TEST(OpenFailure, ANodeTheUserMayNotOpenSaysWhoMay) {
  TComPorts machine;
  const std::string node = machine.AddTerminal(7);
  ASSERT_EQ(chmod(node.c_str(), 0), 0);  // the terminal behind the link
  const TOpenFailure f = DiagnoseOpenFailure("provider=SERIAL_PORT;comport=7");
  chmod(node.c_str(), 0620);
  if (geteuid() == 0 && f.Kind == TOpenFailureKind::Unknown) GTEST_SKIP() << "root's powers open any node";
  EXPECT_EQ(f.Kind, TOpenFailureKind::NoAccess);
  EXPECT_EQ(OpenFailureText(f).rfind("no access to " + machine.Link(7) + ": ", 0), 0u) << OpenFailureText(f);
}

TEST(OpenFailure, NetworkCausesNameTheHostAndWhatHappened) {
  const int refused = ClosedTcpPort();
  TLocalSocket udp(SOCK_DGRAM);
  struct TCase {
    std::string connection;
    TOpenFailureKind kind;
    std::string text;
  } const cases[] = {
      {"provider=TCP_CLIENT;host=127.0.0.1;port=" + std::to_string(refused), TOpenFailureKind::Refused,
       "127.0.0.1:" + std::to_string(refused) + " refused the connection (nothing listens on that port)"},
      {"provider=TCP_CLIENT;host=modul.local;port=502", TOpenFailureKind::UnknownHost,
       "modul.local is not an IPv4 address (host names are not looked up)"},
      {"provider=UDP_CLIENT;host=127.0.0.1;port=1;LocalIP=127.0.0.1;LocalPort=" + std::to_string(udp.port),
       TOpenFailureKind::LocalBusy,
       "the local port 127.0.0.1:" + std::to_string(udp.port) + " is in use by another program"},
      {"provider=UDP_CLIENT;host=127.0.0.1;port=1;LocalIP=here", TOpenFailureKind::LocalForeign,
       "here is not an address of this machine"},
      {"provider=FTD_USB;serial_number=FT999999", TOpenFailureKind::NoConverter,
       "no FTDI converter with the serial number FT999999 is plugged in (see duomat-cli ports)"},
  };
  TComPorts machine;  // an empty device tree: no converter, no HID device
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.connection);
    const TOpenFailure f = DiagnoseOpenFailure(c.connection);
    EXPECT_EQ(f.Kind, c.kind);
    EXPECT_EQ(OpenFailureText(f), c.text);
  }
}

TEST(OpenFailure, AListeningPeerGivesNoReason) {
  TLocalSocket server(SOCK_STREAM);
  ASSERT_EQ(listen(server.fd, 1), 0);
  EXPECT_EQ(DiagnoseOpenFailure("provider=TCP_CLIENT;host=127.0.0.1;port=" + std::to_string(server.port)).Kind,
            TOpenFailureKind::Unknown);
}
