// One complete COM port scan (ports 1 to 255) by the scanner's eight threads,
// wall time, next to a baseline in the same run:
//
//   BM_ScanEightThreads       vs BM_ScanBaselineOneThread
//   BM_ScanWithThreadStart    (the same, with creating and ending the threads)
//
// The machine is a temporary one: COM1, COM3 and COM5 are links to
// pseudo-terminals (COM5 held by another open file), every other number maps
// to a missing node, as on a PC with a few ports. The baseline probes the same
// numbers one after another on the calling thread, so the difference is what
// the threads, the shared lock and the hand-over cost or save.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

#include "core/uComPortScannerCore.h"

using namespace duomat;

namespace {

class TBenchMachine {
 public:
  TBenchMachine() {
    char pattern[] = "/tmp/duomat-bench-XXXXXX";
    root_ = mkdtemp(pattern);
    for (const char* d : {"/ports", "/dev", "/sys"}) std::filesystem::create_directories(root_ + d);
    setenv("DUOMAT_PORT_DIR", (root_ + "/ports").c_str(), 1);
    setenv("DUOMAT_DEV_DIR", (root_ + "/dev").c_str(), 1);
    setenv("DUOMAT_SYSFS_ROOT", (root_ + "/sys").c_str(), 1);
    for (int n : {1, 3, 5}) {
      const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
      grantpt(master);
      unlockpt(master);
      fds_.push_back(master);
      std::filesystem::create_symlink(ptsname(master), root_ + "/ports/COM" + std::to_string(n));
      if (n == 5) {
        const int held = open(ptsname(master), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        flock(held, LOCK_EX | LOCK_NB);
        fds_.push_back(held);
      }
    }
  }
  ~TBenchMachine() {
    for (int fd : fds_) close(fd);
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

 private:
  std::string root_;
  std::vector<int> fds_;
};

void Found(benchmark::State& state, int present) {
  if (present != 3) state.SkipWithError("the scan did not find COM1, COM3 and COM5");
}

int Present(TComPortThreadSharedData& shared) {
  int n = 0;
  for (int p = 1; p <= ComPortCount; ++p) n += shared.State(p) == psFree || shared.State(p) == psNotAvailable;
  return n;
}

void BM_ScanEightThreads(benchmark::State& state) {
  TBenchMachine machine;
  TComPortScannerCore scanner;
  for (auto _ : state)
    if (!scanner.ScanAndWait(std::chrono::seconds(30))) state.SkipWithError("scan incomplete");
  Found(state, Present(scanner.Shared()));
}
BENCHMARK(BM_ScanEightThreads)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ScanWithThreadStart(benchmark::State& state) {
  TBenchMachine machine;
  int present = 0;
  for (auto _ : state) {
    TComPortScannerCore scanner;
    if (!scanner.ScanAndWait(std::chrono::seconds(30))) state.SkipWithError("scan incomplete");
    present = Present(scanner.Shared());
  }
  Found(state, present);
}
BENCHMARK(BM_ScanWithThreadStart)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ScanBaselineOneThread(benchmark::State& state) {
  TBenchMachine machine;
  int present = 0;
  for (auto _ : state) {
    present = 0;
    for (int n = 1; n <= ComPortCount; ++n) {
      const uint8_t s = ProbeComPort(n).State;
      present += s == psFree || s == psNotAvailable;
    }
  }
  Found(state, present);
}
BENCHMARK(BM_ScanBaselineOneThread)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
