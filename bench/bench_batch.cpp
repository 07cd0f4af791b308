// duomat-cli batch against simulated Outra modules that answer after 50 ms
// (korvan-sim --delay 50), each on its own TCP line:
//
//   BM_BatchApply/1    one apply entry alone
//   BM_BatchApply/32   32 apply entries on 32 lines, --jobs 32
//
// Each run writes (the profile alternates between two), so every entry
// costs presence check, load, writes and read-back. Reported: the wall time
// of the whole program and its peak RSS (wait4). At the end the 32-line time
// (slowest run) is set against 1.5 x the one-entry time (fastest run) + 0.5 s.
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "support/TSimProcess.h"
#include "support/TTempDir.h"

extern char** environ;

namespace {

struct TFigures {
  double Seconds = 0, RssMb = 0, Best = 1e9;
};
std::map<int, TFigures> g_figures;
std::vector<std::unique_ptr<korvan::test::TSimProcess>> g_sims;
std::unique_ptr<korvan::test::TTempDir> g_dir;

// Runs duomat-cli to its end; its wall time and peak RSS.
TFigures RunCli(const std::vector<std::string>& args) {
  std::vector<std::string> all = {DUOMAT_CLI_PATH};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = -1;
  TFigures f;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    f.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    f.RssMb = usage.ru_maxrss / 1024.0;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::fprintf(stderr, "duomat-cli batch failed\n");
  }
  posix_spawn_file_actions_destroy(&actions);
  return f;
}

std::string Inventory(int entries, int variant) {
  const nlohmann::json profile = {
      {"module", "outra"},
      {"range", variant ? "4 - 20 mA" : "0 - 10 V"},
      {"watchdogs", {{{"timeout", variant ? 60 : 0}, {"raw", variant ? 2048 : 0}}, {{"timeout", variant ? 5 : 0}, {"raw", 0}}}}};
  nlohmann::json inventory = nlohmann::json::array();
  for (int i = 0; i < entries; ++i)
    inventory.push_back({{"name", "m" + std::to_string(i)},
                         {"connection", "provider=TCP_CLIENT;host=127.0.0.1;port=" + std::to_string(g_sims[i]->TcpPort())},
                         {"module", "outra"},
                         {"action", "apply"},
                         {"profile", profile}});
  const std::string path = g_dir->Path() + "/inventory-" + std::to_string(entries) + "-" + std::to_string(variant) + ".json";
  if (FILE* f = std::fopen(path.c_str(), "w")) {
    std::fputs(inventory.dump().c_str(), f);
    std::fclose(f);
  }
  return path;
}

void BM_BatchApply(benchmark::State& state) {
  const int entries = static_cast<int>(state.range(0));
  const std::string files[2] = {Inventory(entries, 0), Inventory(entries, 1)};
  int variant = 0;
  TFigures worst;
  for (auto _ : state) {
    const TFigures f = RunCli({"batch", "--jobs", "32", files[variant ^= 1]});
    state.SetIterationTime(f.Seconds);
    worst.Seconds = std::max(worst.Seconds, f.Seconds);
    worst.Best = std::min(worst.Best, f.Seconds);
    worst.RssMb = std::max(worst.RssMb, f.RssMb);
  }
  state.counters["worst_s"] = worst.Seconds;
  state.counters["peak_rss_MB"] = worst.RssMb;
  g_figures[entries] = worst;
}
BENCHMARK(BM_BatchApply)->Arg(1)->Arg(32)->Iterations(4)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  g_dir = std::make_unique<korvan::test::TTempDir>("duomat-bench-batch");
  for (int i = 0; i < 32; ++i) {
    g_sims.push_back(std::make_unique<korvan::test::TSimProcess>(
        std::vector<std::string>{"--module", "outra", "--delay", "50", "--tcp", "127.0.0.1:0"}));
    if (!g_sims.back()->Started()) {
      std::fprintf(stderr, "korvan-sim did not start\n");
      return 1;
    }
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_figures.count(1) && g_figures.count(32)) {
    const double bound = 1.5 * g_figures[1].Best + 0.5;
    std::printf("one entry alone %.3f s; 32 lines at worst %.3f s (bound %.3f s: %s); peak RSS %.1f MB (bound 64 MB: %s)\n",
                g_figures[1].Best, g_figures[32].Seconds, bound, g_figures[32].Seconds <= bound ? "met" : "MISSED",
                g_figures[32].RssMb, g_figures[32].RssMb < 64 ? "met" : "MISSED");
  }
  g_sims.clear();
  g_dir.reset();
  return 0;
}
