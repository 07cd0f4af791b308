// What idle lines cost the process: CPU time and voluntary context switches
// (getrusage, all threads) while nothing is sent, as a share of one core and
// as wake-ups a second:
//
//   BM_Idle/nothing_open   the library started, no line open (the baseline)
//   BM_Idle/tcp_and_serial one TCP and one serial connection to korvan-sim,
//                          opened through the records as the program does
//
// Each watches for DUOMAT_IDLE_SECONDS seconds (default 10).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

#include "core/uKorvanStackDeviceIngraRec.h"
#include "core/uLibraryStart.h"
#include "support/TSimProcess.h"
#include "uBenchSimulator.h"

namespace {

using bench::g_sim;
using bench::kComPort;


double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

int IdleSeconds() {
  const char* text = std::getenv("DUOMAT_IDLE_SECONDS");
  const int n = text ? std::atoi(text) : 10;
  return n > 0 ? n : 10;
}

void BM_Idle(benchmark::State& state, bool open) {
  duomat::TKorvanStackDeviceIngraRec tcp, serial;
  if (open) {
    tcp.SetConnectionString("provider=TCP_CLIENT;host=127.0.0.1;port=" + std::to_string(g_sim->TcpPort()));
    serial.SetConnectionString("provider=SERIAL_PORT;comport=" + std::to_string(kComPort) + ";baudrate=115200");
    korvan::TIngraRanges ranges{};
    if (!tcp.Connect() || !serial.Connect() || !tcp.Device()->GetRanges(ranges) ||
        !serial.Device()->GetRanges(ranges)) {
      state.SkipWithError("cannot reach korvan-sim");
      return;
    }
  }
  const int seconds = IdleSeconds();
  for (auto _ : state) {
    // Let what the opening set going settle first.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    getrusage(RUSAGE_SELF, &after);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = Seconds(after.ru_utime) + Seconds(after.ru_stime) - Seconds(before.ru_utime) -
                       Seconds(before.ru_stime);
    // The main thread's own sleep accounts for one switch.
    const double switches = static_cast<double>(after.ru_nvcsw - before.ru_nvcsw) - 1;
    state.counters["core_percent"] = 100.0 * cpu / wall;
    state.counters["wakeups_per_s"] = switches / wall;
    state.SetIterationTime(wall);
  }
  tcp.Disconnect();
  serial.Disconnect();
}

BENCHMARK_CAPTURE(BM_Idle, nothing_open, false)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_Idle, tcp_and_serial, true)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  duomat::StartLibrary();
  if (!bench::StartSimulator()) return 1;
  benchmark::RunSpecifiedBenchmarks();
  bench::StopSimulator();
  benchmark::Shutdown();
  return 0;
}
