// korvan-sim as a program: its command line, its signals, and its line
// front end (frames cut from whatever chunks arrive).
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

#include "protocol/uKorvan97.h"
#include "support/TRunProgram.h"
#include "support/TSimProcess.h"
#include "support/TTempDir.h"

using namespace std::chrono_literals;
using korvan::test::RunProgram;
using korvan::test::TPortDir;
using korvan::test::TRun;
using korvan::test::TSimProcess;

namespace {

constexpr int kBoundMs = 10000;
const std::string kIngraIdentification = "Ingra;v1.0;simulated";

// Runs korvan-sim to its end with these arguments; one that does not end in
// time is killed.
TRun RunSim(const std::vector<std::string>& options) {
  std::vector<std::string> args = {TSimProcess::BinaryPath()};
  args.insert(args.end(), options.begin(), options.end());
  return RunProgram(std::move(args), std::chrono::milliseconds(kBoundMs));
}

// Waits, without reaping it, until the process has ended; its exit status,
// or -1 when it did not end normally in time.
int WaitForExit(pid_t pid) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBoundMs);
  while (std::chrono::steady_clock::now() < deadline) {
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid)
      return info.si_code == CLD_EXITED ? info.si_status : -1;
    std::this_thread::sleep_for(5ms);
  }
  return -1;
}

bool Exists(const std::string& path) {
  struct stat st{};
  return lstat(path.c_str(), &st) == 0;
}

// One end of a line to the simulator: its pseudo-terminal or a TCP connection.
class TLine {
 public:
  static TLine Pty(const std::string& path) {
    TLine line(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    termios t{};
    if (line.fd_ >= 0 && tcgetattr(line.fd_, &t) == 0) {
      cfmakeraw(&t);
      tcsetattr(line.fd_, TCSANOW, &t);
    }
    return line;
  }
  static TLine Tcp(int port) {
    TLine line(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (line.fd_ >= 0 && connect(line.fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) line.Close();
    if (line.fd_ >= 0) fcntl(line.fd_, F_SETFL, fcntl(line.fd_, F_GETFL) | O_NONBLOCK);
    return line;
  }
  TLine(TLine&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  ~TLine() { Close(); }

  bool Ok() const { return fd_ >= 0; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  bool Send(const std::string& bytes) { return ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()); }
  // Sends the bytes over and over until the other side takes nothing for a while.
  void Flood(const std::string& bytes) {
    for (pollfd p{fd_, POLLOUT, 0}; ::write(fd_, bytes.data(), bytes.size()) > 0 || poll(&p, 1, 1000) > 0;) {
    }
  }

  // The next whole frame that arrives, skipping anything before it; empty
  // when none comes in time.
  std::string NextFrame(int ms = kBoundMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      const size_t start = rx_.find("*a");
      if (start != std::string::npos) {
        rx_.erase(0, start);
        std::string frame = korvan::ExtractPacket(rx_, true);
        if (!frame.empty()) return frame;
      }
      if (std::chrono::steady_clock::now() > deadline) return {};
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 10) <= 0) continue;
      char buffer[4096];
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n > 0) rx_.append(buffer, static_cast<size_t>(n));
    }
  }

 private:
  explicit TLine(int fd) : fd_(fd) {}
  int fd_ = -1;
  std::string rx_;
};

// The answer frame must be valid and belong to this request.
void ExpectAnswer(const std::string& frame, uint8_t adr, uint8_t sig, const std::string& data) {
  ASSERT_FALSE(frame.empty()) << "no answer";
  ASSERT_EQ(korvan::CheckPacket(frame), 0);
  const korvan::TKorvanFormat97 p = korvan::ParsePacket(frame);
  EXPECT_EQ(p.ADR, adr);
  EXPECT_EQ(p.SIG, sig);
  EXPECT_EQ(p.code, 0);
  EXPECT_EQ(p.data, data);
}

std::string Identify(uint8_t adr, uint8_t sig) { return korvan::BuildPacket(adr, sig, 0xF3, ""); }

}  // namespace

TEST(KorvanSim, EndsCleanlyOnSigtermAndTakesItsLinkAway) {
  TPortDir dir;
  TSimProcess sim({"--module", "ingra", "--link", dir.Link(5)});
  ASSERT_TRUE(sim.Started());
  char target[256] = {};
  ASSERT_GT(readlink(dir.Link(5).c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(std::string(target), sim.PtyPath());

  EXPECT_EQ(sim.Terminate(), 0);
  EXPECT_FALSE(Exists(dir.Link(5)));
}

TEST(KorvanSim, EndsCleanlyOnSigintAndTakesItsLinkAway) {
  TPortDir dir;
  TSimProcess sim({"--module", "outra", "--link", dir.Link(5), "--tcp", "127.0.0.1:0"});
  ASSERT_TRUE(sim.Started());
  ASSERT_TRUE(Exists(dir.Link(5)));
  ASSERT_EQ(kill(sim.Pid(), SIGINT), 0);
  EXPECT_EQ(WaitForExit(sim.Pid()), 0);
  EXPECT_FALSE(Exists(dir.Link(5)));
  sim.Terminate();  // reaps it
}

TEST(KorvanSim, EndsCleanlyOnSighupAndTakesItsDeviceTreesAway) {
  // A closed terminal sends SIGHUP: a tree left behind would make the next start fail.
  for (const char* option : {"--ftdi", "--hid"}) {
    SCOPED_TRACE(option);
    korvan::test::TTempDir dir("duomat-tree");
    TSimProcess sim({"--module", "ingra", option, dir.Path()});
    ASSERT_TRUE(sim.Started());
    ASSERT_TRUE(Exists(dir.Path() + "/dev"));
    ASSERT_EQ(kill(sim.Pid(), SIGHUP), 0);
    EXPECT_EQ(WaitForExit(sim.Pid()), 0);
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
    sim.Terminate();  // reaps it
  }
}

TEST(KorvanSim, ReplacesAStaleLinkOfTheSameName) {
  TPortDir dir;
  ASSERT_EQ(symlink("/nonexistent/pts/99", dir.Link(5).c_str()), 0);
  TSimProcess sim({"--module", "ingra", "--link", dir.Link(5)});
  ASSERT_TRUE(sim.Started());
  char target[256] = {};
  ASSERT_GT(readlink(dir.Link(5).c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(std::string(target), sim.PtyPath());
}

TEST(KorvanSim, HelpDocumentsEveryOption) {
  const TRun run = RunSim({"--help"});
  EXPECT_EQ(run.Status, 0);
  for (const char* option : {"--module", "--address", "--kind", "--codes", "--ranges", "--pty", "--link", "--tcp",
                             "--udp", "--delay", "--noise", "--split", "--bad-checksum-first", "--silent",
                             "--notice-first", "--forced-ack", "SIGTERM", "--numbers", "--baud", "bus"})
    EXPECT_NE(run.Out.find(option), std::string::npos) << option << " is not in:\n" << run.Out;
}

TEST(KorvanSim, UsageErrorsExitNonZeroWithoutServing) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--pty"},
      {"--module", "ingra"},  // no endpoint
      {"--module", "sensor", "--pty"},
      {"--module", "ingra", "--pty", "--frobnicate"},
      {"--module", "ingra", "--pty", "--address", "300"},
      {"--module", "ingra", "--pty", "--address", "x31"},
      {"--module", "ingra", "--pty", "--kind", "pressure"},
      {"--module", "ingra", "--pty", "--codes", "1,2"},
      {"--module", "ingra", "--pty", "--codes", "1,2,x,1"},
      {"--module", "outra", "--pty", "--ranges", "1"},
      {"--module", "ingra", "--pty", "--noise", "0F0"},
      {"--module", "ingra", "--pty", "--split", "soon"},
      {"--module", "ingra", "--pty", "--delay"},
      {"--module", "ingra", "--tcp", "127.0.0.1:99999"},
      {"--module", "ingra", "--tcp", "localhost"},
      {"--module", "ingra", "--link", "/nonexistent-duomat-dir/COM5"},
      {"--module", "ingra", "--pty", "--baud", "1234"},  // not in the baud table
      {"--module", "ingra", "--pty", "--numbers", "1,2"},
      {"--module", "ingra", "--pty", "--module"},
  };
  for (const auto& options : cases) {
    std::string line;
    for (const auto& o : options) line += o + " ";
    const TRun run = RunSim(options);
    EXPECT_GT(run.Status, 0) << line;
    EXPECT_EQ(run.Out, "") << line;  // no endpoint announced
    EXPECT_NE(run.Err, "") << line;  // and a reason given
  }
}

TEST(KorvanSim, AnswersARequestThatArrivesInTwoWrites) {
  TSimProcess sim({"--module", "ingra", "--pty", "--tcp", "127.0.0.1:0"});
  ASSERT_TRUE(sim.Started());
  const std::string request = Identify(0x31, 7);
  for (bool tcp : {false, true}) {
    SCOPED_TRACE(tcp ? "tcp" : "pty");
    TLine line = tcp ? TLine::Tcp(sim.TcpPort()) : TLine::Pty(sim.PtyPath());
    ASSERT_TRUE(line.Ok());
    ASSERT_TRUE(line.Send(request.substr(0, 4)));
    // Shorter than the module's inter-byte time-out, so that it is one frame.
    std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(line.Send(request.substr(4)));
    ExpectAnswer(line.NextFrame(), 0x31, 7, kIngraIdentification);
  }
}

TEST(KorvanSim, SkipsNoiseBeforeARequest) {
  TSimProcess sim({"--module", "ingra", "--pty"});
  ASSERT_TRUE(sim.Started());
  TLine line = TLine::Pty(sim.PtyPath());
  ASSERT_TRUE(line.Ok());

  ASSERT_TRUE(line.Send(std::string("\x00\xFF\x13*\x11*", 6) + Identify(0x31, 1)));
  ExpectAnswer(line.NextFrame(), 0x31, 1, kIngraIdentification);
  // A false frame start announcing a long frame holds the request back only
  // until the line goes quiet.
  ASSERT_TRUE(line.Send(std::string("*a\x7F\xFF", 4) + Identify(0x31, 2)));
  ExpectAnswer(line.NextFrame(), 0x31, 2, kIngraIdentification);
  // A spoiled frame is not answered; the next good one is.
  std::string spoiled = Identify(0x31, 3);
  spoiled[spoiled.size() - 2] ^= 0x55;
  ASSERT_TRUE(line.Send(spoiled + Identify(0x31, 4)));
  ExpectAnswer(line.NextFrame(), 0x31, 4, kIngraIdentification);
}

TEST(KorvanSim, AnswersOnlyItsOwnAddressAndTheUniversalOne) {
  TSimProcess sim({"--module", "ingra", "--address", "0x40", "--pty"});
  ASSERT_TRUE(sim.Started());
  TLine line = TLine::Pty(sim.PtyPath());
  ASSERT_TRUE(line.Ok());
  // Requests are served in order, so the first answer tells who was heard.
  ASSERT_TRUE(line.Send(Identify(0x31, 1) + Identify(0x40, 2)));
  ExpectAnswer(line.NextFrame(), 0x40, 2, kIngraIdentification);
  ASSERT_TRUE(line.Send(Identify(korvan::KorvanUniversalAddress, 3)));
  ExpectAnswer(line.NextFrame(), 0x40, 3, kIngraIdentification);
}

TEST(KorvanSim, ServesOneClientOfItsTerminalAfterAnother) {
  TSimProcess sim({"--module", "outra", "--pty"});
  ASSERT_TRUE(sim.Started());
  for (uint8_t sig = 1; sig <= 3; ++sig) {
    TLine line = TLine::Pty(sim.PtyPath());
    ASSERT_TRUE(line.Ok());
    ASSERT_TRUE(line.Send(Identify(0x31, sig)));
    ExpectAnswer(line.NextFrame(), 0x31, sig, "Outra;v1.0;simulated");
  }
}

TEST(KorvanSim, ABadChecksumSpoilsOnlyTheFirstAnswer) {
  TSimProcess sim({"--module", "ingra", "--pty", "--bad-checksum-first"});
  ASSERT_TRUE(sim.Started());
  TLine line = TLine::Pty(sim.PtyPath());
  ASSERT_TRUE(line.Ok());
  ASSERT_TRUE(line.Send(Identify(0x31, 1)));
  const std::string first = line.NextFrame();
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(korvan::CheckPacket(first), 5);  // the checksum test
  ASSERT_TRUE(line.Send(Identify(0x31, 2)));
  ExpectAnswer(line.NextFrame(), 0x31, 2, kIngraIdentification);
}

TEST(KorvanSim, RefusesToWriteItsDeviceTreeThroughASymbolicLink) {
  // Each a link planted in DIR, pointing at a folder of someone else's.
  for (const auto& c : {std::pair{"--ftdi", "sys/bus/usb/devices"}, {"--ftdi", "sys/bus/usb/devices/1-1"},
                        {"--ftdi", "dev"}, {"--hid", "sys/class"}, {"--hid", "sys/devices/korvan-sim"}, {"--hid", "dev"}}) {
    SCOPED_TRACE(std::string(c.first) + " " + c.second);
    korvan::test::TTempDir dir("duomat-tree"), victim("duomat-victim");
    const std::filesystem::path link = dir.Path() + "/" + c.second;
    std::filesystem::create_directories(link.parent_path());
    ASSERT_EQ(symlink(victim.Path().c_str(), link.c_str()), 0);
    const TRun run = RunSim({"--module", "ingra", c.first, dir.Path()});
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find("symbolic link"), std::string::npos) << run.Err;
    EXPECT_TRUE(std::filesystem::is_empty(victim.Path()));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
  }
}

TEST(KorvanSim, AClientThatStopsReadingDoesNotStarveTheOthers) {
  TSimProcess sim({"--module", "ingra", "--tcp", "127.0.0.1:0"});
  ASSERT_TRUE(sim.Started());
  TLine stuck = TLine::Tcp(sim.TcpPort());
  ASSERT_TRUE(stuck.Ok());
  // Requests until nothing more is taken: its unread answers fill the buffers.
  std::string burst;
  while (burst.size() < 65536) burst += Identify(0x31, 1);
  stuck.Flood(burst);
  TLine other = TLine::Tcp(sim.TcpPort());
  ASSERT_TRUE(other.Send(Identify(0x31, 2)));
  ExpectAnswer(other.NextFrame(), 0x31, 2, kIngraIdentification);
}
