#include "tools/duomat-cli/uCliScan.h"

#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <vector>

#include "core/uInputRules.h"
#include "core/uModuleScan.h"
#include "core/uModuleSettings.h"
#include "core/uOpenFailure.h"
#include "tools/duomat-cli/uCliOutput.h"

namespace duomat::cli {

namespace {
using TJson = nlohmann::ordered_json;
constexpr int kExitInterrupted = 130;

volatile std::sig_atomic_t g_interrupted = 0;
void OnInterrupt(int) {
  g_interrupted = 1;
}

// SIGINT only raises a flag while the scan runs: the request in flight ends
// by its own time-out and what was found is still printed.
class TInterruptGuard {
 public:
  TInterruptGuard() {
    g_interrupted = 0;
    struct sigaction a {};
    a.sa_handler = &OnInterrupt;
    sigemptyset(&a.sa_mask);
    sigaction(SIGINT, &a, &old_);
  }
  ~TInterruptGuard() { sigaction(SIGINT, &old_, nullptr); }
  TInterruptGuard(const TInterruptGuard&) = delete;
  TInterruptGuard& operator=(const TInterruptGuard&) = delete;

 private:
  struct sigaction old_ {};
};

// At most what silent addresses cost: the time-out each.
void ShowProgress(const TScanProgress& p) {
  const std::string rate = p.Rate ? "  " + std::to_string(p.Rate) + " Bd" : "";
  std::fprintf(stderr, "\r\033[Kscanning %s%s  found %zu  at most %d s left", AddressText(p.Address).c_str(),
               rate.c_str(), p.Found, (p.MsLeft + 999) / 1000);
  std::fflush(stderr);
}

void PrintFound(const std::vector<TFoundModule>& found, int scanned, bool interrupted, bool json) {
  if (json) {
    TJson list = TJson::array();
    for (const TFoundModule& f : found) {
      TJson m = {{"address", f.Address},
                 {"baudrate", f.Rate ? TJson(f.Rate) : TJson(nullptr)},
                 {"name", ModuleNameOf(f.Identification)},
                 {"identification", f.Identification}};
      if (f.Collision) m["collision"] = true;
      list.push_back(std::move(m));
    }
    TJson o = {{"ok", !found.empty()}, {"modules", list}, {"scanned", scanned}};
    if (interrupted) o["interrupted"] = true;
    std::printf("%s\n", JsonLine(o).c_str());
    return;
  }
  for (const TFoundModule& f : found) {
    const std::string rate = f.Rate ? std::to_string(f.Rate) + "  " : "";
    const std::string what = f.Collision ? "several modules answer here: their answers collide"
                                         : Printable(f.Identification);
    std::printf("%s  %s%s\n", AddressText(f.Address).c_str(), rate.c_str(), what.c_str());
  }
  if (interrupted) std::fprintf(stderr, "Scan interrupted after %d requests.\n", scanned);
  if (found.empty()) std::fprintf(stderr, "No module answered (%d requests).\n", scanned);
}
}  // namespace

void AddScanCommand(CLI::App& app, TScanCommand& c) {
  c.Command = app.add_subcommand(
      "scan",
      "Ask every address for its identification, one request at a time, and list who answers:\n"
      "ADDRESS  [RATE  ]IDENTIFICATION. Exit 0 when a module answered, 1 when none, 130 on SIGINT");
  c.Command->add_option("--from", c.From, "The first address (default 0)");
  c.Command->add_option("--to", c.To, "The last address (default 253)");
  c.Command
      ->add_option("--scan-timeout", c.ScanTimeout,
                   "The time-out of each request in ms (default 100)")
      ->check(CLI::Range(1, 60000));
  c.Command->add_option(
      "--baudrates", c.Baudrates,
      "Serial and FTDI lines: scan at each rate, all or R1,R2,... of 110 ... 230400,\n"
      "switching the open line's rate");
  c.Command->add_flag(
      "--quick", c.Quick,
      "First ask the universal address 0xFE; when exactly one module answers, confirm it and stop");
  c.Command->add_flag("--json", c.Json, "Print one JSON object instead of text");
}

int RunScanCommand(const TScanCommand& c, const std::string& connection, bool json) {
  try {
    const int from = static_cast<int>(ParseNumber(c.From, "--from", 0, LastModuleAddress));
    const int to = static_cast<int>(ParseNumber(c.To, "--to", 0, LastModuleAddress));
    if (from > to) throw TCliUsage("--from must not lie above --to: " + c.From + " > " + c.To);
    std::vector<uint32_t> rates;
    if (c.Baudrates) {
      if (!ConnectionHasRate(connection))
        throw TCliUsage("--baudrates needs a serial port or FTDI line");
      rates = ParseRates(*c.Baudrates, "--baudrates");
    }

    TModuleLine line;
    if (!line.Open(connection)) {
      PrintResult(false, msg::OpenFailed, OpenFailureValues(connection), json);
      return 1;
    }
    TInterruptGuard interrupt;
    const bool progress = isatty(STDERR_FILENO) != 0;
    TScanCallbacks callbacks;
    if (progress) callbacks.Progress = &ShowProgress;
    callbacks.Cancelled.Requested = [] { return g_interrupted != 0; };
    const TScanResult result = ScanModules(line, {from, to, rates, c.Quick, c.ScanTimeout}, callbacks);
    if (progress) std::fputs("\r\033[K", stderr);
    PrintFound(result.Found, result.Scanned, result.Interrupted, json);
    if (result.Interrupted) return kExitInterrupted;
    return result.Found.empty() ? 1 : 0;
  } catch (...) {
    return ReportCommandError(json);
  }
}

}  // namespace duomat::cli
