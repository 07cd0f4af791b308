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

// Accepts one connection on 127.0.0.1 and writes `block` to it again and
// again until the client goes, `maxBytes` are sent or `bound` has passed;
// it hangs up when the client does or at the bound.
class TFloodPeer {
 public:
  TFloodPeer(std::string block, size_t maxBytes, milliseconds bound) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(listener_, 1) == 0 &&
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length) == 0)
      port_ = ntohs(a.sin_port);
    thread_ = std::thread([this, block = std::move(block), maxBytes, bound] { Serve(block, maxBytes, bound); });
  }
  ~TFloodPeer() {
    stop_ = true;
    thread_.join();
    close(listener_);
  }
  std::string Connection() const {
    return "provider=TCP_CLIENT;host=127.0.0.1;port=" + std::to_string(port_);
  }

 private:
  void Serve(const std::string& block, size_t maxBytes, milliseconds bound) {
    const auto end = steady_clock::now() + bound;
    pollfd p{listener_, POLLIN, 0};
    while (!stop_ && steady_clock::now() < end && poll(&p, 1, 50) == 0) {
    }
    const int fd = p.revents ? accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK) : -1;
    for (size_t sent = 0; fd >= 0 && !stop_ && sent < maxBytes && steady_clock::now() < end;) {
      pollfd w{fd, POLLOUT, 0};
      if (poll(&w, 1, 50) <= 0) continue;
      const ssize_t n = send(fd, block.data(), block.size(), MSG_NOSIGNAL);
      if (n < 0 && errno != EAGAIN) break;
      if (n > 0) sent += static_cast<size_t>(n);
    }
    // Still connected, so that the request ends by its time-out, not a hang-up.
    for (pollfd r{fd, POLLIN, 0}; fd >= 0 && !stop_ && steady_clock::now() < end; poll(&r, 1, 50)) {
    }
    if (fd >= 0) close(fd);
  }

  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

std::string Repeated(const std::string& unit, size_t size) {
  std::string s;
  while (s.size() < size) s += unit;
  return s;
}

constexpr bool Sanitized =
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    true;
#else
    false;
#endif

struct THostileCase {
  const char* Name;
  std::string Unit;  // what the peer repeats
};
void PrintTo(const THostileCase& c, std::ostream* os) { *os << c.Name; }

class CliUnderAHostilePeer : public ::testing::TestWithParam<THostileCase> {};

}  // namespace

// The request for 0x31 keeps its memory bounded and ends at its time-out.
TEST_P(CliUnderAHostilePeer, ARequestEndsAtItsTimeOutWithBoundedMemory) {
  constexpr int timeoutMs = 4000;
  TFloodPeer peer(Repeated(GetParam().Unit, 65536), size_t{16} << 30, milliseconds(2 * timeoutMs));
  const auto start = steady_clock::now();
  const TRun r = RunProgram({DUOMAT_CLI_PATH, "--timeout", std::to_string(timeoutMs), "-c", peer.Connection(),
                             "ingra", "identify"},
                            milliseconds(3 * timeoutMs));
  const auto took = duration_cast<milliseconds>(steady_clock::now() - start).count();
  EXPECT_EQ(r.Status, 1) << r;
  EXPECT_EQ(r.Err, "Nepodařilo se připojit k modulu Ingra!\n") << r;
  EXPECT_GE(took, timeoutMs);
  EXPECT_LT(took, timeoutMs * 3 / 2);
  if (!Sanitized) {
    EXPECT_LT(r.MaxRssKb, 64 * 1024) << r;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Peers, CliUnderAHostilePeer,
    ::testing::Values(THostileCase{"FloodOfFramesForAnotherAddress", korvan::BuildPacket(0x32, 0x01, 0x00,
                                                                                           std::string(200, 'x'))},
                      THostileCase{"LongAnnouncements", std::string("\x2A\x61\xFF\xFF", 4)}),
    [](const auto& info) { return std::string(info.param.Name); });

// Out of descriptors (one left) or of threads (each thread's stack, sized by
// the stack limit, cannot be had; and one process for an ordinary user): the
// line fails to open and says so, no hang, no abort.
TEST(CliOutOfResources, TheLineFailsToOpenInsteadOfHangingOrAborting) {
  TFloodPeer peer(std::string(1, '\0'), 0, seconds(20));
  const std::vector<korvan::test::TLimit> cases[] = {
      {{RLIMIT_NOFILE, 4}}, {{RLIMIT_STACK, 1ul << 40}, {RLIMIT_NPROC, 1}}};
  for (const auto& limits : cases) {
    const TRun r = RunProgram({DUOMAT_CLI_PATH, "--timeout", "200", "-c", peer.Connection(), "ingra", "identify"},
                              seconds(10), limits);
    EXPECT_EQ(r.Status, 1) << r;
    EXPECT_EQ(r.Err, "Nepodařilo se otevřít spojení!\n") << r;
  }
}

#endif
