// One GetRanges request (instruction 0x1B) to korvan-sim on the same machine,
// on TCP and on a pseudo-terminal, measured two ways in the same run:
//
//   BM_Raw/<line>    a raw blocking client: write the frame, read until the
//                    answer frame is whole (the line and the simulator alone)
//   BM_Stack/<line>  the same request through record, device, stack, wrapper
//                    and transport, as the program sends it
//
// Each reports the median and the 99th percentile of its round trips; at the
// end the excess of the stack over the raw client is printed per line.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "core/uKorvanStackDeviceIngraRec.h"
#include "core/uLibraryStart.h"
#include "protocol/uKorvan97.h"
#include "support/TSimProcess.h"
#include "uBenchSimulator.h"

namespace {

using bench::g_sim;
using bench::kComPort;

using Clock = std::chrono::steady_clock;

struct TFigures {
  double median = 0, p99 = 0;  // microseconds
};
std::map<std::string, TFigures> g_figures;


void Record(benchmark::State& state, const std::string& name, std::vector<double>& samples) {
  if (samples.empty()) return;
  std::sort(samples.begin(), samples.end());
  TFigures f;
  f.median = samples[samples.size() / 2];
  f.p99 = samples[std::min(samples.size() - 1, samples.size() * 99 / 100)];
  state.counters["median_us"] = f.median;
  state.counters["p99_us"] = f.p99;
  g_figures[name] = f;
}

double Micros(Clock::time_point since) {
  return std::chrono::duration<double, std::micro>(Clock::now() - since).count();
}

// A blocking descriptor to the simulator: a TCP connection or the terminal.
int OpenRaw(bool tcp) {
  if (tcp) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(g_sim->TcpPort()));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
      close(fd);
      return -1;
    }
    return fd;
  }
  const int fd = open(g_sim->PtyPath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  tcsetattr(fd, TCSANOW, &t);
  return fd;
}

// Writes the request and reads until one whole frame is back.
bool RawRoundTrip(int fd, const std::string& request) {
  if (write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size())) return false;
  std::string rx;
  char buffer[256];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) return false;
    rx.append(buffer, static_cast<size_t>(n));
    if (!korvan::ExtractPacket(rx, false).empty()) return true;
  }
}

void BM_Raw(benchmark::State& state, bool tcp) {
  const int fd = OpenRaw(tcp);
  if (fd < 0) {
    state.SkipWithError("cannot reach korvan-sim");
    return;
  }
  std::vector<double> samples;
  uint8_t sig = 0;
  for (auto _ : state) {
    const std::string request = korvan::BuildPacket(0x31, ++sig, 0x1B, "");
    const auto start = Clock::now();
    if (!RawRoundTrip(fd, request)) {
      state.SkipWithError("no answer");
      break;
    }
    samples.push_back(Micros(start));
  }
  close(fd);
  Record(state, std::string("raw ") + (tcp ? "tcp" : "pty"), samples);
}

void BM_Stack(benchmark::State& state, bool tcp) {
  duomat::TKorvanStackDeviceIngraRec rec;
  rec.SetConnectionString(tcp ? "provider=TCP_CLIENT;host=127.0.0.1;port=" + std::to_string(g_sim->TcpPort())
                              : "provider=SERIAL_PORT;comport=" + std::to_string(kComPort) + ";baudrate=115200");
  if (!rec.Connect()) {
    state.SkipWithError("cannot connect");
    return;
  }
  std::vector<double> samples;
  korvan::TIngraRanges ranges{};
  for (auto _ : state) {
    const auto start = Clock::now();
    if (!rec.Device()->GetRanges(ranges)) {
      state.SkipWithError("GetRanges failed");
      break;
    }
    samples.push_back(Micros(start));
  }
  rec.Disconnect();
  Record(state, std::string("stack ") + (tcp ? "tcp" : "pty"), samples);
}

BENCHMARK_CAPTURE(BM_Raw, tcp, true)->Iterations(3000)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Stack, tcp, true)->Iterations(300)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Raw, pty, false)->Iterations(3000)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Stack, pty, false)->Iterations(300)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  duomat::StartLibrary();
  if (!bench::StartSimulator()) return 1;
  benchmark::RunSpecifiedBenchmarks();
  for (const char* line : {"tcp", "pty"}) {
    const auto raw = g_figures.find(std::string("raw ") + line);
    const auto stack = g_figures.find(std::string("stack ") + line);
    if (raw == g_figures.end() || stack == g_figures.end()) continue;
    std::printf("%s: raw median %.1f us p99 %.1f us | stack median %.1f us p99 %.1f us | excess median %.1f us p99 %.1f us\n",
                line, raw->second.median, raw->second.p99, stack->second.median, stack->second.p99,
                stack->second.median - raw->second.median, stack->second.p99 - raw->second.p99);
  }
  bench::StopSimulator();
  benchmark::Shutdown();
  return 0;
}
