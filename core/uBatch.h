#pragma once
// Many modules at once: an inventory's entries, one line at a time per line, different lines in parallel.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/uProfile.h"

namespace duomat {

enum class TBatchAction { Identify, Load, Apply, Diff };

// What a connection string opens, so that strings written differently for one
// line ("comport=5" and "comport=05;", keys in another order) share it:
// "SERIAL_PORT 5", "TCP_CLIENT host:port", "FTD_USB serial", "HID vid:pid serial".
std::string LineIdentity(const std::string& connection);
const char* BatchActionName(TBatchAction action);

struct TBatchEntry {
  std::string Name;
  std::string Connection;
  uint8_t Address = 0x31;
  TModuleKind Module = TModuleKind::Ingra;
  TBatchAction Action = TBatchAction::Identify;
  TProfile Profile;  // apply and diff
};

// The whole inventory, checked before anything is sent: a JSON array of
// {"name", "connection", "address"?, "module", "action", "profile"?}; a
// profile is inline or a file relative to the inventory's folder.
// TProfileError names the entry and the field.
std::vector<TBatchEntry> ReadInventory(const std::string& path);

struct TBatchResult {
  enum class TState { NotRun, Ok, Differs, Failed } State = TState::NotRun;
  bool Changed = false;
  bool Verified = false;
  std::string Message = "interrupted";
  nlohmann::ordered_json Details = nlohmann::ordered_json::object();
  std::vector<std::string> Changes;  // "watchdog 1 timeout: 0 -> 60"
};

// "ok", "changed", "differs", "failed" or "not run".
const char* BatchOutcomeName(const TBatchResult& result);
// 0 all ok, 3 none failed but a diff differed, 1 any failed or not run.
int BatchStatus(const std::vector<TBatchResult>& results);

struct TBatchProgress {
  size_t Done = 0, Total = 0, Failed = 0;
  std::vector<std::string> Running;  // entry names
};

// One run of an inventory. Start, then Stop at any time: the entries running
// finish, the rest stay not run. Every method may be called from any thread.
class TBatchRun {
 public:
  TBatchRun(const std::vector<TBatchEntry>& entries, int timeout);
  ~TBatchRun();  // joins
  TBatchRun(const TBatchRun&) = delete;
  TBatchRun& operator=(const TBatchRun&) = delete;

  size_t Lines() const { return lines_.size(); }
  // Starts up to `jobs` workers; `ended` is called on a thread of the run's
  // own when every worker has ended. Throws std::runtime_error when no
  // thread could be started; with fewer, those that started do all the work.
  void Start(size_t jobs, std::function<void()> ended);
  // Before Start: told of each line as it opens, before its first frame, on
  // the worker's thread, with the connection string of its first entry.
  using TLineOpened = std::function<void(const void* line, const std::string& connection)>;
  void SetLineOpened(TLineOpened opened) { lineOpened_ = std::move(opened); }
  void Stop() { stop_ = true; }
  bool Ended() const { return ended_; }
  void Join();

  TBatchProgress Progress();
  // A copy of the results; with `insisted`, entries running now are marked
  // as interrupted while running.
  std::vector<TBatchResult> Results(bool insisted);

 private:
  void Work();
  void RunLine(const std::vector<size_t>& entries);
  TBatchResult RunEntry(const TBatchEntry& e, korvan::TKorvanStack& stack);

  const std::vector<TBatchEntry>& entries_;
  std::vector<std::vector<size_t>> lines_;
  int timeout_;
  std::atomic<size_t> next_{0};
  std::atomic<bool> stop_{false}, ended_{false};
  std::vector<std::thread> workers_;
  std::thread watcher_;
  TLineOpened lineOpened_;
  std::mutex mutex_;  // guards what follows
  std::vector<TBatchResult> results_;
  std::set<size_t> running_;
  size_t done_ = 0, failed_ = 0;
};

}  // namespace duomat
