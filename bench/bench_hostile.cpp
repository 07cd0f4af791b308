// A stack on a TCP line to a loopback peer that floods it (BM_HostilePeer):
//
//   flood_request    a 1000 ms request for 0x31 while the peer writes valid
//                    frames for 0x32 as fast as the line takes them
//   pattern_request  the same while the peer repeats 2A 61 FF FF (a frame
//                    start announcing 65 535 bytes)
//   pattern_idle     no request; the peer sends that pattern, 4 KiB a
//                    millisecond
//   zeros_idle_baseline  the same with zero bytes, which hold no frame start:
//                    what the line and its threads cost by themselves
//
// Counters: request_ms (the request's duration; it must end at its time-out),
// peak_rss_mb (the process's peak resident memory during the case, reset
// before it), core (CPU time of the process but the peer's thread, as a share
// of one core). Run the build of another
// revision the same way to compare.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "comm/uci_ConnectionString.h"
#include "core/uLibraryStart.h"
#include "protocol/uKorvan97.h"
#include "protocol/uKorvanStack.h"

using namespace std::chrono;
using namespace korvan;

namespace {

double CpuSeconds(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Writes `block` to the one client it accepts: as fast as it goes, or one
// block a millisecond; its own CPU time is kept apart.
class TPeer {
 public:
  TPeer(std::string block, bool paced) : block_(std::move(block)), paced_(paced) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(listener_, 1) == 0)
      getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~TPeer() {
    stop_ = true;
    thread_.join();
    close(listener_);
  }
  std::string Connection() const { return "provider=TCP_CLIENT;host=127.0.0.1;port=" + std::to_string(port_); }
  double CpuSeconds() const { return cpu_.load(); }

 private:
  void Serve() {
    pollfd p{listener_, POLLIN, 0};
    while (!stop_ && poll(&p, 1, 50) == 0) {
    }
    const int fd = p.revents ? accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK) : -1;
    auto next = steady_clock::now();
    while (fd >= 0 && !stop_) {
      if (paced_) {
        next += milliseconds(1);
        std::this_thread::sleep_until(next);
      }
      pollfd w{fd, POLLOUT, 0};
      if (poll(&w, 1, 50) > 0 && send(fd, block_.data(), block_.size(), MSG_NOSIGNAL) < 0 && errno != EAGAIN)
        break;
      cpu_ = ::CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    }
    if (fd >= 0) close(fd);
  }

  std::string block_;
  bool paced_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<double> cpu_{0};
  std::thread thread_;
};

std::string Repeated(const std::string& unit, size_t size) {
  std::string s;
  while (s.size() < size) s += unit;
  return s.substr(0, size);
}

double PeakRssMb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024;
  return 0;
}

void ResetPeakRss() { std::ofstream("/proc/self/clear_refs") << "5"; }

enum TCase { FloodRequest, PatternRequest, PatternIdle, NoiseIdle };

void BM_HostilePeer(benchmark::State& state, TCase c) {
  duomat::StartLibrary();
  const std::string pattern("\x2A\x61\xFF\xFF", 4);
  const std::string flood = BuildPacket(0x32, 0x01, 0x00, std::string(200, 'x'));
  const bool idle = c == PatternIdle || c == NoiseIdle;
  TPeer peer(idle ? Repeated(c == PatternIdle ? pattern : std::string(1, '\0'), 4096)
                  : Repeated(c == FloodRequest ? flood : pattern, 65536),
             idle);
  TRef<ci::ICommunicationInterface> line;
  TRef<TKorvanStack> stack = CreateObject<TKorvanStack>();
  if (!CreateCommunicationInterface(peer.Connection(), line) || !line->Open()) {
    state.SkipWithError("cannot connect to the peer");
    return;
  }
  stack->SetCommInterface(line.get());
  ResetPeakRss();
  const double cpuBefore = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID), peerBefore = peer.CpuSeconds();
  const auto start = steady_clock::now();
  double requestMs = 0;
  for (auto _ : state) {
    if (idle) {
      std::this_thread::sleep_for(seconds(3));
    } else {
      std::string reply;
      const auto begin = steady_clock::now();
      stack->SendReceive(0x31, 0x01, 0xF3, "", reply, 1000);
      requestMs = duration<double, std::milli>(steady_clock::now() - begin).count();
    }
  }
  const double wall = duration<double>(steady_clock::now() - start).count();
  state.counters["core"] =
      (CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpuBefore - (peer.CpuSeconds() - peerBefore)) / wall;
  state.counters["peak_rss_mb"] = PeakRssMb();
  if (!idle) state.counters["request_ms"] = requestMs;
  stack->SetCommInterface(nullptr);
  line->Close(true);
}
BENCHMARK_CAPTURE(BM_HostilePeer, flood_request, FloodRequest)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_HostilePeer, pattern_request, PatternRequest)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_HostilePeer, pattern_idle, PatternIdle)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_HostilePeer, zeros_idle_baseline, NoiseIdle)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
