// duomat-cli scan against korvan-sim serving two modules (0x31, 0x32) on TCP
// and on a pseudo-terminal, the program run as a user runs it. In the same
// run:
//
//   BM_Answered/<line>  a scan of only the two answering addresses: start-up,
//                       opening the line and two round trips
//   BM_Scan/<line>      a scan of 0x28 to 0x3B at the default 100 ms time-out:
//                       the same plus 18 silent addresses
//
// The scan may cost what its time-outs cost and nothing more: at the end the
// excess of BM_Scan over (18 × 100 ms + BM_Answered) is printed per line,
// against the allowance of 10 % + 0.5 s.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/TRunProgram.h"
#include "support/TSimProcess.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSilent = 18;
constexpr int kScanTimeoutMs = 100;

std::unique_ptr<korvan::test::TPortDir> g_ports;
std::unique_ptr<korvan::test::TSimProcess> g_sim;
std::map<std::string, double> g_ms;  // "<bench>/<line>" → median of the runs

std::string Connection(bool tcp) {
  return tcp ? "provider=TCP_CLIENT;host=127.0.0.1;port=" + std::to_string(g_sim->TcpPort())
             : "provider=SERIAL_PORT;comport=5;baudrate=9600";
}

void Scan(benchmark::State& state, const char* name, const char* from, const char* to) {
  const bool tcp = state.range(0) == 1;
  std::vector<double> runs;
  for (auto _ : state) {
    const auto start = Clock::now();
    const korvan::test::TRun r = korvan::test::RunProgram(
        {DUOMAT_CLI_PATH, "-c", Connection(tcp), "scan", "--from", from, "--to", to},
        std::chrono::seconds(60));
    runs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    if (r.Status != 0 || r.Out.find("0x32") == std::string::npos)
      state.SkipWithError("the scan did not find both");
  }
  std::sort(runs.begin(), runs.end());
  const double median = runs.empty() ? 0 : runs[runs.size() / 2];
  state.counters["ms"] = median;
  g_ms[std::string(name) + (tcp ? "/tcp" : "/pty")] = median;
}

void BM_Answered(benchmark::State& state) {
  Scan(state, "answered", "0x31", "0x32");
}
void BM_Scan(benchmark::State& state) {
  Scan(state, "scan", "0x28", "0x3B");
}

BENCHMARK(BM_Answered)
    ->Arg(1)
    ->Arg(0)
    ->ArgName("tcp")
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_Scan)
    ->Arg(1)
    ->Arg(0)
    ->ArgName("tcp")
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  g_ports = std::make_unique<korvan::test::TPortDir>();
  g_sim = std::make_unique<korvan::test::TSimProcess>(std::vector<std::string>{
      "--module", "ingra", "--address", "0x31", "--module", "outra", "--address", "0x32", "--tcp",
      "127.0.0.1:0", "--link", g_ports->Link(5)});
  if (!g_sim->Started()) {
    std::fprintf(stderr, "korvan-sim did not start\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (const char* line : {"tcp", "pty"}) {
    const double answered = g_ms["answered/" + std::string(line)],
                 scan = g_ms["scan/" + std::string(line)];
    const double bound = kSilent * kScanTimeoutMs + answered;
    std::printf(
        "%s: scan %.0f ms, silent addresses x time-out + answered %.0f ms, excess %.0f ms (%.1f "
        "%%), "
        "allowed %.0f ms\n",
        line, scan, bound, scan - bound, 100 * (scan - bound) / bound, 0.1 * bound + 500);
  }
  g_sim.reset();
  g_ports.reset();
  return 0;
}
