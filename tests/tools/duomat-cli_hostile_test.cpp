// duomat-cli against loopback peers that flood it or send one crafted
// pattern, and started with too few descriptors or threads.
#ifdef DUOMAT_CLI_PATH
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "protocol/uKorvan97.h"
#include "support/TRunProgram.h"

using namespace std::chrono;
using korvan::test::RunProgram;
using korvan::test::TRun;

namespace {

// Accepts one connection on 127.0.0.1 and writes `unit` repeated to it until
// `maxBytes` are sent; it stays connected (reading what comes) until the
// client goes or `bound` has passed.
class TFloodPeer {
 public:
  TFloodPeer(const std::string& unit, size_t maxBytes, milliseconds bound) {
    sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof a;
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(listener_, 1) == 0)
      getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length);
    port_ = ntohs(a.sin_port);
    std::string block;
    while (block.size() < 65536) block += unit;
    thread_ = std::thread([=, this] { Serve(block, maxBytes, steady_clock::now() + bound); });
  }
  ~TFloodPeer() {
    stop_ = true;
    thread_.join();
    close(listener_);
  }
  std::string Connection() const { return "provider=TCP_CLIENT;host=127.0.0.1;port=" + std::to_string(port_); }

 private:
  void Serve(const std::string& block, size_t maxBytes, steady_clock::time_point end) {
    pollfd p{listener_, POLLIN, 0};
    while (!stop_ && steady_clock::now() < end && poll(&p, 1, 50) == 0) {
    }
    const int fd = p.revents ? accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK) : -1;
    char sink[4096];
    for (size_t sent = 0; fd >= 0 && !stop_ && steady_clock::now() < end;) {
      pollfd w{fd, static_cast<short>(sent < maxBytes ? POLLIN | POLLOUT : POLLIN), 0};
      if (poll(&w, 1, 50) <= 0) continue;
      if ((w.revents & POLLIN) && recv(fd, sink, sizeof sink, 0) <= 0) break;  // the client went
      const ssize_t n = (w.revents & POLLOUT) ? send(fd, block.data(), block.size(), MSG_NOSIGNAL) : 0;
      if (n > 0) sent += static_cast<size_t>(n);
    }
    if (fd >= 0) close(fd);
  }

  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class CliUnderAHostilePeer : public ::testing::TestWithParam<std::pair<std::string, std::string>> {};  // (name, unit)

}  // namespace

// The request for 0x31 ends at its time-out, its memory bounded.
TEST_P(CliUnderAHostilePeer, ARequestEndsAtItsTimeOutWithBoundedMemory) {
  constexpr int timeoutMs = 4000;
  TFloodPeer peer(GetParam().second, size_t{16} << 30, milliseconds(2 * timeoutMs));
  const auto start = steady_clock::now();
  const TRun r = RunProgram({DUOMAT_CLI_PATH, "--lang", "en", "--timeout", std::to_string(timeoutMs), "-c", peer.Connection(),
                             "ingra", "identify"},
                            milliseconds(3 * timeoutMs));
  const auto took = duration_cast<milliseconds>(steady_clock::now() - start).count();
  EXPECT_EQ(r.Status, 1) << r;
  EXPECT_EQ(r.Err.substr(0, r.Err.find('\n')), "Could not connect to the Ingra module!") << r;
  EXPECT_GE(took, timeoutMs);
  EXPECT_LT(took, timeoutMs * 3 / 2);
#if !defined(DUOMAT_ASAN) && !defined(DUOMAT_TSAN)  // their shadow memory counts
  EXPECT_LT(r.MaxRssKb, 64 * 1024) << r;
#endif
}

INSTANTIATE_TEST_SUITE_P(
    Peers, CliUnderAHostilePeer,
    ::testing::Values(std::pair("FramesForAnotherAddress", korvan::BuildPacket(0x32, 1, 0, std::string(200, 'x'))),
                      std::pair("LongAnnouncements", std::string("\x2A\x61\xFF\xFF", 4))),
    [](const auto& info) { return info.param.first; });

// Out of descriptors (one left) or threads (no stack under a 1 TiB stack limit; one
// process for an ordinary user): the open fails and says so, no hang, no abort.
TEST(CliOutOfResources, TheLineFailsToOpenInsteadOfHangingOrAborting) {
#ifdef DUOMAT_ASAN
  GTEST_SKIP() << "UBSan's own type checks fail under these limits before the program runs";
#endif
  TFloodPeer peer(std::string(1, '\0'), 0, seconds(20));
  // No descriptor for the line: it fails to open. No thread at all: the program says it cannot start.
  const std::pair<std::vector<korvan::test::TLimit>, std::string> cases[] = {
      {{{RLIMIT_NOFILE, 4}}, "Could not open the connection!\n"},
      {{{RLIMIT_STACK, 1ul << 40}, {RLIMIT_NPROC, 1}}, "duomat-cli: cannot start: the system gave no thread or descriptor"}};
  for (const auto& [limits, message] : cases) {
#ifdef DUOMAT_TSAN
    // TSan's runtime cannot map its own memory under a 1 TiB stack limit and dies before the program runs.
    if (limits.size() > 1) continue;
#endif
    const TRun r = RunProgram({DUOMAT_CLI_PATH, "--lang", "en", "--timeout", "200", "-c", peer.Connection(), "ingra", "identify"},
                              seconds(10), {}, limits);
    EXPECT_EQ(r.Status, 1) << r;
    EXPECT_EQ(r.Err.rfind(message, 0), 0u) << r;
  }
}

#endif
