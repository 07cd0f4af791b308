#include "tools/duomat-cli/uCliBatch.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>

#include "core/uBatch.h"
#include "core/uText.h"
#include "tools/duomat-cli/uCliInterrupt.h"
#include "tools/duomat-cli/uCliOutput.h"

namespace duomat::cli {

namespace {
using ojson = nlohmann::ordered_json;

// ---- Signals ---------------------------------------------------------------

constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};

// Waits up to the time for a signal or a finished entry; true when woken.
bool Wait(int milliseconds) {
  pollfd p{TInterruptPolicy::WakeDescriptor(), POLLIN, 0};
  if (p.fd < 0) {
    ::usleep(static_cast<useconds_t>(milliseconds) * 1000);
    return false;
  }
  if (poll(&p, 1, milliseconds) <= 0) return false;
  char drain[16];
  while (read(p.fd, drain, sizeof drain) > 0) {
  }
  return true;
}

// Workers run with the signals blocked, so that only the main thread takes them.
class TBlockSignals {
 public:
  TBlockSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int n : kSignals) sigaddset(&set, n);
    pthread_sigmask(SIG_BLOCK, &set, &old_);
  }
  ~TBlockSignals() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
  TBlockSignals(const TBlockSignals&) = delete;
  TBlockSignals& operator=(const TBlockSignals&) = delete;

 private:
  sigset_t old_;
};

// ---- Printing --------------------------------------------------------------

// A setting of a loaded profile in one line: "0 1 2 3", "0 - 10 V", "on 60 s 5.00".
std::string SettingText(const ojson& v) {
  if (v.is_array()) {
    std::string s;
    for (const auto& item : v) s += (s.empty() ? "" : " ") + SettingText(item);
    return s;
  }
  if (v.is_object() && v.contains("timeout") && v.contains("value")) {
    char text[64];
    std::snprintf(text, sizeof text, "[%d s %.2f]", v["timeout"].get<int>(), v["value"].get<double>());
    return text;
  }
  return v.is_string() ? Printable(v.get<std::string>()) : v.dump();
}


void PrintResults(const std::vector<TBatchEntry>& entries, const std::vector<TBatchResult>& results, bool ok, double seconds,
                  bool json) {
  if (json) {
    ojson list = ojson::array();
    for (size_t i = 0; i < entries.size(); ++i) {
      const TBatchResult& r = results[i];
      ojson j = {
          {"name", entries[i].Name},
          {"module", ModuleName(entries[i].Module)},
          {"action", BatchActionName(entries[i].Action)},
          {"address", entries[i].Address},
          {"ok", r.State == TBatchResult::TState::Ok || r.State == TBatchResult::TState::Differs},
          {"outcome", BatchOutcomeName(r)},
          {"changed", r.Changed},
          {"verified", r.Verified},
          {"message", Tr(msg::Context, r.Message.c_str())}};
      for (const auto& [key, value] : r.Details.items())
        if (!j.contains(key)) j[key] = value;
      list.push_back(std::move(j));
    }
    const ojson all = {{"ok", ok}, {"results", std::move(list)}, {"seconds", seconds}};
    std::printf("%s\n", all.dump().c_str());
    std::fflush(stdout);
    return;
  }
  for (size_t i = 0; i < entries.size(); ++i) {
    const TBatchResult& r = results[i];
    std::string line = Printable(entries[i].Name) + "  " + BatchActionName(entries[i].Action) +
                       "  " + BatchOutcomeName(r) + "  " +
                       Printable(Tr(msg::Context, r.Message.c_str()));
    std::string changes;
    for (const std::string& c : r.Changes) changes += (changes.empty() ? "" : "; ") + c;
    // A loaded entry shows the settings it read.
    if (const auto profile = r.Details.find("profile"); profile != r.Details.end())
      for (const auto& [key, value] : profile->items())
        if (key != "module") changes += (changes.empty() ? "" : "; ") + key + "=" + SettingText(value);
    if (!changes.empty()) line += "  (" + changes + ")";
    std::printf("%s\n", line.c_str());
  }
  std::fflush(stdout);
}

// "done/total, failures, what is running".
std::string ProgressText(const TBatchProgress& p) {
  std::string running;
  for (const std::string& name : p.Running) running += (running.empty() ? "" : ", ") + Printable(name);
  return running.empty()
             ? Tr(DUOMAT_TR_EN("duomat-cli", "batch: %1/%2 done, %3 failed"), p.Done, p.Total,
                  p.Failed)
             : Tr(DUOMAT_TR_EN("duomat-cli", "batch: %1/%2 done, %3 failed; running: %4"), p.Done,
                  p.Total, p.Failed, running);
}

}  // namespace

int BatchCommand(const std::string& inventory, int jobs, int timeout, bool json) {
  std::vector<TBatchEntry> entries;
  try {
    entries = ReadInventory(inventory);
  } catch (const TProfileError& e) {
    const std::string message =
        Tr(DUOMAT_TR_EN("duomat-cli", "inventory %1: %2"), inventory, e.what());
    if (json)
      Print(TOutcome{false, message, {}}, true);
    else
      std::fprintf(stderr, "duomat-cli: %s\n", Printable(message).c_str());
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  const bool progress = isatty(STDERR_FILENO);
  TBatchRun run(entries, timeout);
  run.SetLineOpened([](const void* line, const std::string& connection) { NameLine(line, connection); });
  {
    // Workers run with the signals blocked, so that only this thread takes them.
    TBlockSignals blocked;
    run.Start(static_cast<size_t>(jobs), [] { TInterruptPolicy::Wake(); });
  }
  int interrupted = 0;
  while (!run.Ended()) {
    if (progress) std::fprintf(stderr, "\r\033[K%s", ProgressText(run.Progress()).c_str());
    if (!Wait(progress ? 100 : 1000) || run.Ended()) continue;
    if (TInterruptPolicy::Signal() == 0) continue;
    interrupted = TInterruptPolicy::Signal();
    run.Stop();
    if (TInterruptPolicy::Insisted()) {
      // The user insists: what ran so far, and end now.
      if (progress) std::fputs("\r\033[K", stderr);
      std::fprintf(
          stderr, "duomat-cli: %s\n",
          Tr(DUOMAT_TR_EN("duomat-cli",
                          "interrupted again; entries that were running may be incomplete"))
              .c_str());
      const std::vector<TBatchResult> results = run.Results(true);
      PrintResults(entries, results, false, 0, json);
      std::_Exit(128 + interrupted);
    }
  }
  run.Join();
  if (progress) std::fputs("\r\033[K", stderr);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const std::vector<TBatchResult> results = run.Results(false);
  const int status = interrupted ? 128 + interrupted : BatchStatus(results);
  PrintResults(entries, results, status == 0 || status == 3, seconds, json);
  return status;
}

}  // namespace duomat::cli
