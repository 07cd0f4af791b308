#include "tools/duomat-cli/uCliScan.h"

#include <unistd.h>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <vector>

#include "app/uModuleSettings.h"
#include "tools/duomat-cli/uCliLine.h"
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

struct TFound {
  int Address;
  uint32_t Rate;  // 0 on a line without one
  std::string Identification;
};

std::string NameOf(const std::string& identification) {
  std::string name = identification.substr(0, identification.find(';'));
  const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
  while (!name.empty() && blank(name.back())) name.pop_back();
  name.erase(name.begin(), std::find_if_not(name.begin(), name.end(), blank));
  return name;
}

std::vector<uint32_t> ParseRates(const std::string& text) {
  std::vector<uint32_t> rates;
  if (text == "all") {
    for (int rate : korvan::KorvanBaudTable) rates.push_back(static_cast<uint32_t>(rate));
    return rates;
  }
  size_t start = 0;
  while (start <= text.size()) {
    const size_t comma = std::min(text.find(',', start), text.size());
    const long rate =
        ParseCliNumber(text.substr(start, comma - start), "--baudrates", 1, 1000000000);
    if (std::find(korvan::KorvanBaudTable.begin(), korvan::KorvanBaudTable.end(), rate) ==
        korvan::KorvanBaudTable.end())
      throw TCliUsage("--baudrates takes the modules' rates 110 ... 230400 or all: " + text);
    rates.push_back(static_cast<uint32_t>(rate));
    start = comma + 1;
  }
  return rates;
}

class TScanner {
 public:
  TScanner(TCliLine& line, int timeout) : device_(line.Device()), timeout_(timeout) {
    device_.SetTimeout(timeout);
    progress_ = isatty(STDERR_FILENO) != 0;
  }
  ~TScanner() { EndProgress(); }
  TScanner(const TScanner&) = delete;
  TScanner& operator=(const TScanner&) = delete;

  // The universal address answered by exactly one module, confirmed at its
  // own address. Several at once garble each other: no valid answer.
  bool Quick(uint32_t rate) {
    uint8_t adr = 0;
    int baud = 0;
    device_.SetAdr(korvan::KorvanUniversalAddress);
    if (!device_.ReadAddressAndBaudRate(adr, baud) || adr >= korvan::KorvanUniversalAddress)
      return false;
    return Ask(adr, rate);
  }

  // Every address of the range at the line's present rate; false when interrupted.
  bool Range(int from, int to, uint32_t rate, int addressesLeftAfter) {
    for (int adr = from; adr <= to; ++adr) {
      if (g_interrupted) return false;
      Progress(adr, rate, (to - adr + 1 + addressesLeftAfter) * timeout_);
      Ask(adr, rate);
    }
    return !g_interrupted;
  }

  void EndProgress() {
    if (progress_) std::fputs("\r\033[K", stderr);
    progress_ = false;
  }
  const std::vector<TFound>& Found() const { return found_; }
  int Scanned() const { return scanned_; }

 private:
  bool Ask(int adr, uint32_t rate) {
    ++scanned_;
    std::string text;
    device_.SetAdr(static_cast<uint8_t>(adr));
    if (!device_.ReadIdentificationText(text)) return false;
    found_.push_back({adr, rate, text});
    return true;
  }

  // At most what silent addresses cost: the time-out each.
  void Progress(int adr, uint32_t rate, int msLeft) {
    if (!progress_) return;
    std::string rateText = rate ? "  " + std::to_string(rate) + " Bd" : "";
    std::fprintf(stderr, "\r\033[Kscanning %s%s  found %zu  at most %d s left",
                 AddressText(adr).c_str(), rateText.c_str(), found_.size(), (msLeft + 999) / 1000);
    std::fflush(stderr);
  }

  korvan::TKorvanStackDevice& device_;
  int timeout_;
  bool progress_ = false;
  int scanned_ = 0;
  std::vector<TFound> found_;
};

void PrintFound(const std::vector<TFound>& found, int scanned, bool interrupted, bool json) {
  if (json) {
    TJson list = TJson::array();
    for (const TFound& f : found)
      list.push_back({{"address", f.Address},
                      {"baudrate", f.Rate ? TJson(f.Rate) : TJson(nullptr)},
                      {"name", NameOf(f.Identification)},
                      {"identification", f.Identification}});
    TJson o = {{"ok", !found.empty()}, {"modules", list}, {"scanned", scanned}};
    if (interrupted) o["interrupted"] = true;
    std::printf("%s\n", JsonLine(o).c_str());
    return;
  }
  for (const TFound& f : found) {
    const std::string rate = f.Rate ? std::to_string(f.Rate) + "  " : "";
    std::printf("%s  %s%s\n", AddressText(f.Address).c_str(), rate.c_str(),
                Printable(f.Identification).c_str());
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
    const int from = static_cast<int>(ParseCliNumber(c.From, "--from", 0, 253));
    const int to = static_cast<int>(ParseCliNumber(c.To, "--to", 0, 253));
    if (from > to) throw TCliUsage("--from must not lie above --to: " + c.From + " > " + c.To);
    std::vector<uint32_t> rates;
    if (!c.Baudrates.empty()) {
      if (!ConnectionHasRate(connection))
        throw TCliUsage("--baudrates needs a serial port or FTDI line");
      rates = ParseRates(c.Baudrates);
    }

    TCliLine line;
    if (!line.Open(connection)) {
      PrintResult(false, msg::OpenFailed, TJson::object(), json);
      return 1;
    }
    if (rates.empty()) rates.push_back(line.Rate());  // as the line was opened; 0 without a rate
    TInterruptGuard interrupt;
    TScanner scanner(line, c.ScanTimeout);
    // Rates the line cannot take are skipped.
    const auto switchTo = [&](uint32_t rate) { return c.Baudrates.empty() || line.SetRate(rate); };
    bool done = false;
    if (c.Quick)
      for (uint32_t rate : rates)
        if (!g_interrupted && switchTo(rate) && scanner.Quick(rate)) {
          done = true;
          break;
        }
    const int count = to - from + 1;
    for (size_t i = 0; !done && i < rates.size() && !g_interrupted; ++i)
      if (switchTo(rates[i]))
        scanner.Range(from, to, rates[i], static_cast<int>(rates.size() - i - 1) * count);
    const bool interrupted = g_interrupted != 0;
    scanner.EndProgress();
    PrintFound(scanner.Found(), scanner.Scanned(), interrupted, json);
    if (interrupted) return kExitInterrupted;
    return scanner.Found().empty() ? 1 : 0;
  } catch (...) {
    return ReportCommandError(json);
  }
}

}  // namespace duomat::cli
