#include "comm/uci_ICommunicationInterfaceDataSpy.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/uTerminalForwarder.h"
#include "support/TTestLine.h"

using korvan::CreateObject;
using korvan::ForwardToTerminal;
using korvan::IsOwnSocket;
using korvan::IsPrivateDir;
using korvan::TerminalSocketPath;
using korvan::TRef;
using korvan::ci::CheckDataSpyCommandLine;
using korvan::ci::GetDataSpyHandler;
using korvan::ci::ICommunicationInterface;
using korvan::ci::IsDataSpySwitch;
using korvan::ci::SetDataSpyHandler;
using korvan::ci::TDataSpyHandler;
using korvan::ci::TerminalForwarderHandler;
using korvan::test::TTestLine;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

struct TOtherSpy {
  void On(ICommunicationInterface*, const std::string&, uint8_t) {}
  TDataSpyHandler Handler() { return TDataSpyHandler::Bind<&TOtherSpy::On>(this); }
};

struct TThrowingSpy {
  int calls = 0;
  void Std(ICommunicationInterface*, const std::string&, uint8_t) {
    ++calls;
    throw std::runtime_error("spy failed");
  }
  void Other(ICommunicationInterface*, const std::string&, uint8_t) {
    ++calls;
    throw 42;
  }
};

// The spy handler is process-wide: every test leaves it unassigned.
class DataSpy : public ::testing::Test {
 protected:
  void SetUp() override { SetDataSpyHandler(TDataSpyHandler()); }
  void TearDown() override { SetDataSpyHandler(TDataSpyHandler()); }
};

// A temporary $XDG_RUNTIME_DIR, restored afterwards, where a test may play
// the external terminal.
class TerminalForwarder : public DataSpy {
 protected:
  void SetUp() override {
    DataSpy::SetUp();
    if (const char* old = std::getenv("XDG_RUNTIME_DIR")) oldRuntimeDir_ = old;
    char pattern[] = "/tmp/duomat-term-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
  }
  void TearDown() override {
    if (listener_ >= 0) close(listener_);
    unlink((dir_ + "/TfMainKorvanTerm").c_str());
    rmdir(dir_.c_str());
    if (oldRuntimeDir_)
      setenv("XDG_RUNTIME_DIR", oldRuntimeDir_->c_str(), 1);
    else
      unsetenv("XDG_RUNTIME_DIR");
    DataSpy::TearDown();
  }

  // Binds the terminal's socket; false when that failed.
  bool Listen() {
    listener_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = dir_ + "/TfMainKorvanTerm";
    if (path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  }

  // The next datagram, or nothing within the bound.
  std::optional<std::string> NextDatagram(int boundMs = 5000) {
    pollfd p{listener_, POLLIN, 0};
    if (poll(&p, 1, boundMs) != 1) return std::nullopt;
    char buffer[4096];
    const ssize_t n = recv(listener_, buffer, sizeof buffer, 0);
    if (n < 0) return std::nullopt;
    return std::string(buffer, static_cast<size_t>(n));
  }

  std::string dir_;
  std::optional<std::string> oldRuntimeDir_;
  int listener_ = -1;
};

}  // namespace

// ---- The DST switch --------------------------------------------------------------

TEST_F(DataSpy, TheDstSwitchIsRecognisedInAnyCaseWithOneLeadingSlashOrHyphen) {
  for (const char* accepted : {"DST", "dst", "dSt", "/DST", "-DST", "/dst", "-Dst", "  DST", "/DST  ",
                               " \t-dst\t ", "\n/DsT\r\n"})
    EXPECT_TRUE(IsDataSpySwitch(accepted)) << '"' << accepted << '"';
  for (const char* rejected : {"--DST", "//DST", "/-DST", "-/DST", "DSTX", "XDST", "/DSTX", "- DST", "D ST",
                               "+DST", "DS", "", "/", "-", "  "})
    EXPECT_FALSE(IsDataSpySwitch(rejected)) << '"' << rejected << '"';
}

TEST_F(DataSpy, TheCommandLineCheckInstallsTheTerminalForwarderOnAMatch) {
  EXPECT_FALSE(CheckDataSpyCommandLine({"/usr/bin/duomat", "--DST", "DSTX", "x"}));
  EXPECT_FALSE(GetDataSpyHandler().Assigned());

  EXPECT_TRUE(CheckDataSpyCommandLine({"/usr/bin/duomat", "other", " /dst "}));
  EXPECT_TRUE(GetDataSpyHandler() == TerminalForwarderHandler());
  EXPECT_FALSE(GetDataSpyHandler().Object());  // a plain function, no object

  // The program path is looked at too.
  SetDataSpyHandler(TDataSpyHandler());
  EXPECT_TRUE(CheckDataSpyCommandLine({"DST"}));
  EXPECT_TRUE(GetDataSpyHandler() == TerminalForwarderHandler());

  // A line without the switch leaves another spy in place.
  TOtherSpy other;
  SetDataSpyHandler(other.Handler());
  EXPECT_FALSE(CheckDataSpyCommandLine({"duomat", "-DSTX"}));
  EXPECT_TRUE(GetDataSpyHandler() == other.Handler());
}

// ---- A spy that fails ---------------------------------------------------------------

TEST_F(DataSpy, ASpyHandlerThatThrowsNeverDisturbsTheTraffic) {
  TRef<TTestLine> line = CreateObject<TTestLine>();
  ASSERT_TRUE(line->Open());
  line->SetPeer([](const std::string&) { return std::string("answer"); });
  TThrowingSpy spy;

  for (const TDataSpyHandler& handler : {TDataSpyHandler::Bind<&TThrowingSpy::Std>(&spy),
                                         TDataSpyHandler::Bind<&TThrowingSpy::Other>(&spy)}) {
    SetDataSpyHandler(handler);
    spy.calls = 0;
    line->ClearWritten();

    EXPECT_EQ(line->Write("request"), 7);
    ASSERT_TRUE(line->WaitIdle());
    std::string data;
    EXPECT_NO_THROW(line->Read(data));
    EXPECT_EQ(data, "answer");

    std::string response;
    EXPECT_NO_THROW(line->SendAndReceive("again", 5000, 30, 10000, false, false, {}, "", response));
    EXPECT_EQ(response, "answer");
    EXPECT_EQ(line->Written(), (std::vector<std::string>{"request", "again"}));
    EXPECT_EQ(spy.calls, 4);
  }
}

// ---- Terminal forwarding ---------------------------------------------------------------

TEST_F(TerminalForwarder, TheSocketLivesInTheRuntimeDirectoryElseInTmp) {
  EXPECT_EQ(TerminalSocketPath(), dir_ + "/TfMainKorvanTerm");
  setenv("XDG_RUNTIME_DIR", (dir_ + "/").c_str(), 1);
  EXPECT_EQ(TerminalSocketPath(), dir_ + "/TfMainKorvanTerm");
  setenv("XDG_RUNTIME_DIR", "", 1);
  EXPECT_EQ(TerminalSocketPath(), "/tmp/duomat-" + std::to_string(getuid()) + "/TfMainKorvanTerm");
  unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(TerminalSocketPath(), "/tmp/duomat-" + std::to_string(getuid()) + "/TfMainKorvanTerm");
}

TEST_F(TerminalForwarder, OnlyAPrivateFolderAndASocketOfTheUsersOwnAreUsed) {
  const uid_t me = getuid();
  const std::string made = dir_ + "/made", path = TerminalSocketPath();
  EXPECT_TRUE(IsPrivateDir(made, me, true) && !IsPrivateDir(made, me + 1, false));  // made 0700 when missing
  rmdir(made.c_str());
  // A socket of another user, or a link planted in the socket's place, gets nothing.
  ASSERT_TRUE(Listen());
  EXPECT_TRUE(IsOwnSocket(path, me) && !IsOwnSocket(path, me + 1));
  ASSERT_TRUE(rename(path.c_str(), (path + "2").c_str()) == 0 && symlink((path + "2").c_str(), path.c_str()) == 0);
  EXPECT_FALSE(ForwardToTerminal("\x01planted"));
  ASSERT_EQ(rename((path + "2").c_str(), path.c_str()), 0);
  chmod(dir_.c_str(), 0755);  // nor does a folder others may enter
  EXPECT_FALSE(ForwardToTerminal("\x01open"));
  chmod(dir_.c_str(), 0700);
  EXPECT_TRUE(ForwardToTerminal("\x01private"));
  EXPECT_EQ(NextDatagram(), std::string("\x01private"));
}

TEST_F(TerminalForwarder, TrafficReachesAListeningTerminalAsDirectionByteAndData) {
  ASSERT_TRUE(Listen());
  ASSERT_TRUE(CheckDataSpyCommandLine({"duomat", "-dst"}));
  TRef<TTestLine> line = CreateObject<TTestLine>();
  ASSERT_TRUE(line->Open());

  const std::string frame("\x02\x97\x00\x05\xff", 5);
  line->Write(frame);
  EXPECT_EQ(NextDatagram(), std::string("\x01") + frame);

  line->Receive(std::string("\x00reply", 6));
  ASSERT_TRUE(line->WaitIdle());
  std::string data;
  line->Read(data);
  EXPECT_EQ(NextDatagram(), std::string("\x02\x00reply", 7));

  // Empty data sends nothing: the next datagram is the next real traffic.
  line->Read(data);
  ASSERT_EQ(data, "");
  line->Write("z");
  EXPECT_EQ(NextDatagram(), std::string("\x01z"));
}

TEST_F(TerminalForwarder, TheForwarderStaysSilentOnceAnotherSpyHasReplacedIt) {
  ASSERT_TRUE(Listen());
  TRef<TTestLine> line = CreateObject<TTestLine>();
  TOtherSpy other;
  SetDataSpyHandler(other.Handler());
  // Still called, say by a handler that chains to it: it must not forward.
  TerminalForwarderHandler()(line.get(), "hidden", 1);

  SetDataSpyHandler(TerminalForwarderHandler());
  TerminalForwarderHandler()(line.get(), "shown", 2);
  EXPECT_EQ(NextDatagram(), std::string("\x02shown"));
}

TEST_F(TerminalForwarder, WithoutATerminalNothingIsSentAndTrafficIsNotHeldUp) {
  SetDataSpyHandler(TerminalForwarderHandler());
  TRef<TTestLine> line = CreateObject<TTestLine>();
  ASSERT_TRUE(line->Open());

  auto start = Clock::now();
  for (int i = 0; i < 200; ++i) EXPECT_EQ(line->Write("abc"), 3);
  EXPECT_LT(Clock::now() - start, 2s);
  EXPECT_FALSE(ForwardToTerminal("\x01x"));

  // A socket file left behind by a terminal that has gone refuses at once too.
  ASSERT_TRUE(Listen());
  close(listener_);
  listener_ = -1;
  start = Clock::now();
  for (int i = 0; i < 200; ++i) EXPECT_EQ(line->Write("abc"), 3);
  EXPECT_LT(Clock::now() - start, 2s);
  EXPECT_FALSE(ForwardToTerminal("\x01x"));
}

TEST_F(TerminalForwarder, ATerminalThatStopsReadingDoesNotBlockTheTraffic) {
  ASSERT_TRUE(Listen());
  SetDataSpyHandler(TerminalForwarderHandler());
  TRef<TTestLine> line = CreateObject<TTestLine>();
  ASSERT_TRUE(line->Open());

  // Fill the terminal's queue until the forwarder drops, then keep writing.
  int sent = 0;
  const uint64_t dropped = korvan::TerminalDroppedCount();
  while (sent < 100000 && ForwardToTerminal(std::string(512, 'q'))) ++sent;
  ASSERT_LT(sent, 100000);
  EXPECT_EQ(korvan::TerminalDroppedCount(), dropped + 1);
  const auto start = Clock::now();
  for (int i = 0; i < 20; ++i) EXPECT_EQ(line->Write("abc"), 3);
  EXPECT_LT(Clock::now() - start, 3s);

  // The terminal still gets what was queued.
  EXPECT_EQ(NextDatagram(), std::string(512, 'q'));
}
