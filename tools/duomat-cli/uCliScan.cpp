#include "tools/duomat-cli/uCliScan.h"

#include <unistd.h>
#include <cstdio>
#include <vector>

#include "core/uInputRules.h"
#include "core/uModuleScan.h"
#include "core/uModuleSettings.h"
#include "core/uOpenFailure.h"
#include "core/uText.h"
#include "tools/duomat-cli/uCliInterrupt.h"
#include "tools/duomat-cli/uCliOutput.h"

namespace duomat::cli {

namespace {
using TJson = nlohmann::ordered_json;
// At most what silent addresses cost: the time-out each.
void ShowProgress(const TScanProgress& p) {
  const std::string rate = p.Rate ? "  " + std::to_string(p.Rate) + " Bd" : "";
  std::fprintf(stderr, "\r\033[K%s",
               Tr(DUOMAT_TR_EN("duomat-cli", "scanning %1%2  found %3  at most %4 s left"),
                  AddressText(p.Address), rate, p.Found, (p.MsLeft + 999) / 1000)
                   .c_str());
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
    const std::string what =
        f.Collision
            ? Tr(DUOMAT_TR_EN("duomat-cli", "several modules answer here: their answers collide"))
            : Printable(f.Identification);
    std::printf("%s  %s%s\n", AddressText(f.Address).c_str(), rate.c_str(), what.c_str());
  }
  if (interrupted)
    std::fprintf(
        stderr, "%s\n",
        Tr(DUOMAT_TR_EN("duomat-cli", "Scan interrupted after %1 requests."), scanned).c_str());
  if (found.empty())
    std::fprintf(
        stderr, "%s\n",
        Tr(DUOMAT_TR_EN("duomat-cli", "No module answered (%1 requests)."), scanned).c_str());
}
}  // namespace

void AddScanOptions(CLI::App& c, TCliOptions& o) {
  c.add_option("--from", o.From, "The first address (default 0)")->type_name("ADDR");
  c.add_option("--to", o.To, "The last address (default 253)")->type_name("ADDR");
  c.add_option("--scan-timeout", o.ScanTimeout, "The time-out of each request in ms, 1-60000 (default 100)")
      ->type_name("MS");
  c.add_option("--baudrates", o.Baudrates,
               "Serial and FTDI lines: scan at each rate, all or R1,R2,... of 110 ... 230400,\n"
               "switching the open line's rate")
      ->type_name("all|BAUD,...");
  c.add_flag("--quick", o.Quick,
             "First ask the universal address 0xFE; when exactly one module answers, confirm it and stop");
}

int RunScanCommand(const TCliOptions& o) {
  const int from = ModuleAddress(o.From, "--from");
  const int to = ModuleAddress(o.To, "--to");
  if (from > to)
    throw TCliUsage(
        Tr(DUOMAT_TR_EN("duomat-cli", "--from must not lie above --to: %1 > %2"), o.From, o.To));
  const int timeout = static_cast<int>(ParseNumber(o.ScanTimeout, "--scan-timeout", 1, 60000));
  std::vector<uint32_t> rates;
  if (o.Baudrates) {
    if (!ConnectionHasRate(o.Connection))
      throw TCliUsage(
          Tr(DUOMAT_TR_EN("duomat-cli", "--baudrates needs a serial port or FTDI line")));
    rates = ParseRates(*o.Baudrates, "--baudrates");
  }

  TModuleLine line;
  if (!line.Open(o.Connection)) {
    Print(TOutcome{false, msg::OpenFailed, OpenFailureValues(o.Connection)}, o.Json);
    return 1;
  }
  const bool progress = isatty(STDERR_FILENO) != 0;
  TScanCallbacks callbacks;
  if (progress) callbacks.Progress = &ShowProgress;
  // The signal also ends the request in flight (the runner's policy for a command that reads).
  callbacks.Cancelled.Requested = [] { return TInterruptPolicy::Signal() != 0; };
  const TScanResult result = ScanModules(line, {from, to, rates, o.Quick, timeout}, callbacks);
  if (progress) std::fputs("\r\033[K", stderr);
  PrintFound(result.Found, result.Scanned, result.Interrupted, o.Json);
  return result.Found.empty() ? 1 : 0;
}

}  // namespace duomat::cli
