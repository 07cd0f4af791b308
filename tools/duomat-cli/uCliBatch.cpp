#include "tools/duomat-cli/uCliBatch.h"

#include "transports/uConnectionStringCheck.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <set>
#include <system_error>
#include <thread>
#include <unistd.h>

#include "comm/uci_ConnectionString.h"
#include "protocol/uIngra.h"
#include "protocol/uKorvanStack.h"
#include "protocol/uOutra.h"
#include "tools/duomat-cli/uCliOutput.h"

namespace duomat::cli {

namespace {
using json = nlohmann::json;
using ojson = nlohmann::ordered_json;

const char* ActionName(TBatchAction a) {
  switch (a) {
    case TBatchAction::Identify: return "identify";
    case TBatchAction::Load: return "load";
    case TBatchAction::Apply: return "apply";
    default: return "diff";
  }
}

// ---- The inventory ---------------------------------------------------------

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return path == "-" || slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string StringField(const json& e, const char* field) {
  const auto v = e.find(field);
  if (v == e.end()) throw TProfileError(std::string(field) + " is missing");
  if (!v->is_string() || v->get<std::string>().empty()) throw TProfileError(std::string(field) + " must be a text");
  return v->get<std::string>();
}

uint8_t AddressField(const json& e) {
  const auto v = e.find("address");
  if (v == e.end()) return 0x31;
  long a = -1;
  if (v->is_number_integer()) {
    a = static_cast<long>(v->get<long long>());
  } else if (v->is_string()) {
    const std::string t = v->get<std::string>();
    const bool hex = t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X');
    char* end = nullptr;
    a = t.empty() ? -1 : std::strtol(t.c_str(), &end, hex ? 16 : 10);
    if (end == nullptr || *end != '\0') a = -1;
  }
  if (a < 0 || a > 253) throw TProfileError("address must be a module address from 0 to 253 (or 0x00 to 0xFD): " + v->dump());
  return static_cast<uint8_t>(a);
}

TBatchEntry ParseEntry(const json& e, const std::string& folder) {
  if (!e.is_object()) throw TProfileError("is not a JSON object");
  TBatchEntry entry;
  entry.Name = StringField(e, "name");
  entry.Connection = StringField(e, "connection");
  if (const std::string problem = korvan::transport::CheckConnectionString(entry.Connection); !problem.empty())
    throw TProfileError("connection: " + problem);
  entry.Address = AddressField(e);
  const std::string module = StringField(e, "module");
  if (module != "ingra" && module != "outra") throw TProfileError("module must be \"ingra\" or \"outra\": " + module);
  entry.Module = module == "ingra" ? TModuleKind::Ingra : TModuleKind::Outra;
  const std::string action = StringField(e, "action");
  const std::map<std::string, TBatchAction> actions = {{"identify", TBatchAction::Identify},
                                                       {"load", TBatchAction::Load},
                                                       {"apply", TBatchAction::Apply},
                                                       {"diff", TBatchAction::Diff}};
  const auto a = actions.find(action);
  if (a == actions.end()) throw TProfileError("action must be identify, load, apply or diff: " + action);
  entry.Action = a->second;
  if (entry.Action != TBatchAction::Apply && entry.Action != TBatchAction::Diff) return entry;
  const auto profile = e.find("profile");
  if (profile == e.end()) throw TProfileError("profile is missing (a file or an inline profile)");
  const std::string file = profile->is_string() ? profile->get<std::string>() : std::string();
  try {
    entry.Profile = ParseProfile(
        profile->is_string() ? ReadJsonFile(!file.empty() && file[0] == '/' ? file : folder + file) : *profile,
        entry.Module);
  } catch (const TProfileError& err) {
    throw TProfileError("profile" + (file.empty() ? std::string() : " " + file) + ": " + err.what());
  }
  return entry;
}

// ---- Running -------------------------------------------------------------

struct TResult {
  enum class TState { NotRun, Ok, Differs, Failed } State = TState::NotRun;
  bool Changed = false;
  bool Verified = false;
  std::string Message = "not run: interrupted";
  ojson Details = ojson::object();
  std::vector<std::string> Changes;  // "watchdog 1 timeout: 0 -> 60"
};

// What every worker and the progress line share.
class TBatchRun {
 public:
  TBatchRun(const std::vector<TBatchEntry>& entries, int timeout) : entries_(entries), results_(entries.size()), timeout_(timeout) {
    std::map<std::string, size_t> line;
    for (size_t i = 0; i < entries.size(); ++i) {
      const auto [at, added] = line.emplace(entries[i].Connection, lines_.size());
      if (added) lines_.emplace_back();
      lines_[at->second].push_back(i);
    }
  }

  size_t Lines() const { return lines_.size(); }
  void Stop() { stop_ = true; }

  // One worker: lines in inventory order until none is left or a stop.
  void Work() {
    for (;;) {
      if (stop_) return;
      const size_t line = next_++;
      if (line >= lines_.size()) return;
      RunLine(lines_[line]);
    }
  }

  // "done/total, failures, what is running", for the progress line.
  std::string Progress() {
    std::lock_guard lock(mutex_);
    std::string running;
    for (size_t i : running_) running += (running.empty() ? "" : ", ") + entries_[i].Name;
    return "batch: " + std::to_string(done_) + "/" + std::to_string(entries_.size()) + " done, " + std::to_string(failed_) +
           " failed" + (running.empty() ? "" : "; running: " + running);
  }

  // A copy of the results; entries running now are marked interrupted.
  std::vector<TResult> Results(bool insisted) {
    std::lock_guard lock(mutex_);
    std::vector<TResult> copy = results_;
    if (insisted)
      for (size_t i : running_) {
        copy[i].State = TResult::TState::Failed;
        copy[i].Message = "interrupted while running: the module may be incomplete";
      }
    return copy;
  }

 private:
  void RunLine(const std::vector<size_t>& entries) {
    TRef<korvan::ci::ICommunicationInterface> comm;
    const bool open = korvan::CreateCommunicationInterface(entries_[entries.front()].Connection, comm) && comm->Open();
    TRef<korvan::TKorvanStack> stack = korvan::CreateObject<korvan::TKorvanStack>();
    if (open) stack->SetCommInterface(comm.get());
    for (size_t i : entries) {
      if (stop_) break;  // the rest of this line stays not run
      {
        std::lock_guard lock(mutex_);
        running_.insert(i);
      }
      TResult r;
      try {
        r = open ? RunEntry(entries_[i], *stack) : Failure(msg::OpenFailed);
      } catch (const std::exception& e) {
        r = Failure(e.what());
      } catch (...) {
        r = Failure("unknown error");
      }
      std::lock_guard lock(mutex_);
      running_.erase(i);
      results_[i] = std::move(r);
      ++done_;
      if (results_[i].State == TResult::TState::Failed) ++failed_;
    }
    if (open) comm->Close(false);
    stack->SetCommInterface(nullptr);
  }

  static TResult Failure(std::string message) {
    TResult r;
    r.State = TResult::TState::Failed;
    r.Message = std::move(message);
    return r;
  }

  // One entry on the open line: its own device object on the line's stack.
  TResult RunEntry(const TBatchEntry& e, korvan::TKorvanStack& stack) {
    TRef<korvan::TKorvanStackDevice> device;
    TRef<korvan::TIngra> ingra;
    TRef<korvan::TOutra> outra;
    if (e.Module == TModuleKind::Ingra)
      device = ingra = korvan::CreateObject<korvan::TIngra>(e.Address);
    else
      device = outra = korvan::CreateObject<korvan::TOutra>(e.Address);
    device->SetTimeout(timeout_);
    device->SetStack(&stack);
    struct TDetach {
      korvan::TKorvanStackDevice& d;
      ~TDetach() { d.SetStack(nullptr); }
    } detach{*device};

    std::string identification;
    if (!device->ReadIdentificationText(identification))
      return Failure(e.Module == TModuleKind::Ingra ? msg::IngraNotAnswering : msg::OutraNotAnswering);
    TResult r;
    r.State = TResult::TState::Ok;
    if (e.Action == TBatchAction::Identify) {
      r.Message = identification;
      r.Details["identification"] = identification;
      return r;
    }
    if (e.Action == TBatchAction::Load) {
      TOutcome out;
      if (ingra) {
        const TIngraLoadResult loaded = LoadIngra(*ingra);
        out = {loaded.Ok, loaded.Message, {}};
        if (loaded.Ok) AddIngra(out, loaded.Codes, loaded.List);
      } else {
        const TOutraLoadResult loaded = LoadOutra(*outra);
        out = {loaded.Ok, loaded.Message, {}};
        if (loaded.Ok) AddOutra(out, loaded.Settings);
      }
      if (!out.Ok) return Failure(out.Message);
      r.Message = out.Message;
      r.Details["profile"] = out.Values;
      return r;
    }
    const TProfileAction action = e.Action == TBatchAction::Apply ? TProfileAction::Apply : TProfileAction::Diff;
    const TProfileResult p = ingra ? RunProfile(*ingra, e.Profile, action) : RunProfile(*outra, e.Profile, action);
    r.State = p.Exit == 0 ? TResult::TState::Ok : p.Exit == 3 ? TResult::TState::Differs : TResult::TState::Failed;
    r.Changed = p.Changed;
    r.Verified = p.Verified;
    r.Message = p.Message;
    AddProfileResult(r.Details, p, action);
    for (const TChange& c : p.Changes) r.Changes.push_back(c.Text);
    return r;
  }

  const std::vector<TBatchEntry>& entries_;
  std::vector<std::vector<size_t>> lines_;
  std::atomic<size_t> next_{0};
  std::atomic<bool> stop_{false};
  std::mutex mutex_;  // guards what follows
  std::vector<TResult> results_;
  std::set<size_t> running_;
  size_t done_ = 0, failed_ = 0;
  int timeout_;
};

// ---- Signals ---------------------------------------------------------------

int g_wake[2] = {-1, -1};
std::atomic<int> g_signal{0}, g_signals{0};

void OnSignal(int n) {
  g_signal = n;
  ++g_signals;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = write(g_wake[1], &byte, 1);
}

// The handlers while a batch runs; the old ones come back with it.
class TSignalCatch {
 public:
  TSignalCatch() {
    if (pipe2(g_wake, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("no pipe for the signals");
    struct sigaction a{};
    a.sa_handler = &OnSignal;
    sigemptyset(&a.sa_mask);
    a.sa_flags = SA_RESTART;
    for (size_t i = 0; i < 3; ++i) sigaction(kSignals[i], &a, &old_[i]);
  }
  ~TSignalCatch() {
    for (size_t i = 0; i < 3; ++i) sigaction(kSignals[i], &old_[i], nullptr);
    close(g_wake[0]);
    close(g_wake[1]);
  }
  TSignalCatch(const TSignalCatch&) = delete;
  TSignalCatch& operator=(const TSignalCatch&) = delete;

  // Waits up to the time for a signal; true when one came.
  bool Wait(int milliseconds) {
    pollfd p{g_wake[0], POLLIN, 0};
    if (poll(&p, 1, milliseconds) <= 0) return false;
    char drain[16];
    while (read(g_wake[0], drain, sizeof drain) > 0) {
    }
    return true;
  }

  static constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};

 private:
  struct sigaction old_[3]{};
};

// Workers run with the signals blocked, so that only the main thread takes them.
class TBlockSignals {
 public:
  TBlockSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int n : TSignalCatch::kSignals) sigaddset(&set, n);
    pthread_sigmask(SIG_BLOCK, &set, &old_);
  }
  ~TBlockSignals() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
  TBlockSignals(const TBlockSignals&) = delete;
  TBlockSignals& operator=(const TBlockSignals&) = delete;

 private:
  sigset_t old_;
};

// ---- Printing --------------------------------------------------------------

const char* OutcomeName(const TResult& r) {
  switch (r.State) {
    case TResult::TState::NotRun: return "not run";
    case TResult::TState::Differs: return "differs";
    case TResult::TState::Failed: return "failed";
    default: return r.Changed ? "changed" : "ok";
  }
}

void PrintResults(const std::vector<TBatchEntry>& entries, const std::vector<TResult>& results, bool ok, double seconds,
                  bool json) {
  if (json) {
    ojson list = ojson::array();
    for (size_t i = 0; i < entries.size(); ++i) {
      const TResult& r = results[i];
      ojson j = {{"name", entries[i].Name},
                 {"module", ModuleName(entries[i].Module)},
                 {"action", ActionName(entries[i].Action)},
                 {"address", entries[i].Address},
                 {"ok", r.State == TResult::TState::Ok || r.State == TResult::TState::Differs},
                 {"outcome", OutcomeName(r)},
                 {"changed", r.Changed},
                 {"verified", r.Verified},
                 {"message", r.Message}};
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
    const TResult& r = results[i];
    std::string line = Printable(entries[i].Name) + "  " + ActionName(entries[i].Action) + "  " + OutcomeName(r) + "  " +
                       Printable(r.Message);
    std::string changes;
    for (const std::string& c : r.Changes) changes += (changes.empty() ? "" : "; ") + c;
    if (!changes.empty()) line += "  (" + changes + ")";
    std::printf("%s\n", line.c_str());
  }
  std::fflush(stdout);
}

int StatusOf(const std::vector<TResult>& results) {
  bool differs = false;
  for (const TResult& r : results) {
    if (r.State == TResult::TState::Failed || r.State == TResult::TState::NotRun) return 1;
    differs = differs || r.State == TResult::TState::Differs;
  }
  return differs ? 3 : 0;
}

}  // namespace

std::vector<TBatchEntry> ReadInventory(const std::string& path) {
  const json all = ReadJsonFile(path);
  if (!all.is_array() || all.empty()) throw TProfileError("must be a JSON array of entries, not empty");
  std::vector<TBatchEntry> entries;
  std::set<std::string> names;
  for (size_t i = 0; i < all.size(); ++i) {
    const json& e = all[i];
    const std::string which = "entry " + std::to_string(i + 1) +
                              (e.is_object() && e.contains("name") && e["name"].is_string() ? " (" + e["name"].get<std::string>() + ")" : "");
    try {
      entries.push_back(ParseEntry(e, FolderOf(path)));
    } catch (const TProfileError& err) {
      throw TProfileError(which + ": " + err.what());
    }
    if (!names.insert(entries.back().Name).second) throw TProfileError(which + ": name is not unique");
  }
  return entries;
}

int BatchCommand(const std::string& inventory, int jobs, int timeout, bool json) {
  std::vector<TBatchEntry> entries;
  try {
    entries = ReadInventory(inventory);
  } catch (const TProfileError& e) {
    const std::string message = "inventory " + inventory + ": " + e.what();
    if (json)
      Print(TOutcome{false, message, {}}, true);
    else
      std::fprintf(stderr, "duomat-cli: %s\n", message.c_str());
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  const bool progress = isatty(STDERR_FILENO);
  TBatchRun run(entries, timeout);
  TSignalCatch signals;
  std::vector<std::thread> workers;
  // The workers end by themselves; the watcher wakes the main thread when all have.
  std::atomic<bool> ended{false};
  std::thread watcher;
  {
    TBlockSignals blocked;
    try {
      const size_t count = std::min(run.Lines(), static_cast<size_t>(jobs));
      for (size_t i = 0; i < count; ++i) workers.emplace_back([&run] { run.Work(); });
      watcher = std::thread([&] {
        for (std::thread& w : workers) w.join();
        ended = true;
        const char byte = 0;
        [[maybe_unused]] const ssize_t written = write(g_wake[1], &byte, 1);
      });
    } catch (const std::system_error&) {
      // Fewer threads than asked for: those that started do all the work.
      if (workers.empty()) throw std::runtime_error("no thread could be started for the batch");
      if (!watcher.joinable()) {
        for (std::thread& w : workers) w.join();
        ended = true;
      }
    }
  }
  int interrupted = 0;
  while (!ended) {
    if (progress) std::fprintf(stderr, "\r\033[K%s", run.Progress().c_str());
    if (!signals.Wait(progress ? 100 : 1000) || ended) continue;
    if (g_signals == 0) continue;
    interrupted = g_signal;
    run.Stop();
    if (g_signals > 1) {
      // The user insists: what ran so far, and end now.
      if (progress) std::fputs("\r\033[K", stderr);
      std::fprintf(stderr, "duomat-cli: interrupted again; entries that were running may be incomplete\n");
      const std::vector<TResult> results = run.Results(true);
      PrintResults(entries, results, false, 0, json);
      std::_Exit(128 + interrupted);
    }
  }
  if (watcher.joinable()) watcher.join();
  if (progress) std::fputs("\r\033[K", stderr);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const std::vector<TResult> results = run.Results(false);
  const int status = interrupted ? 128 + interrupted : StatusOf(results);
  PrintResults(entries, results, status == 0 || status == 3, seconds, json);
  return status;
}

}  // namespace duomat::cli
