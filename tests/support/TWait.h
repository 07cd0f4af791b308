#pragma once
// Waiting in tests: bounded waits for conditions and threads, so a deadlock cannot hang a run.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace korvan::test {

// Waits for a condition with a generous bound instead of a fixed sleep.
template <class Predicate>
bool WaitUntil(Predicate done, std::chrono::milliseconds bound = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// True while the thread sleeps in the kernel, which in these tests means it
// waits for a lock or an event.
inline bool IsBlocked(pid_t tid) {
  std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const auto paren = line.rfind(')');
  return paren != std::string::npos && paren + 2 < line.size() && line[paren + 2] == 'S';
}

// Threads that must all finish within a bound. A deadlocked thread can be
// neither joined nor left behind, so a deadlock ends the process with a
// message instead of hanging until the harness gives up.
class TBoundedThreads {
 public:
  ~TBoundedThreads() { JoinAll(); }

  void Start(std::function<void()> body) {
    threads_.emplace_back([this, body = std::move(body)] {
      body();
      finished_.fetch_add(1);
    });
  }

  void JoinAll(std::chrono::milliseconds bound = std::chrono::seconds(10)) {
    const int n = static_cast<int>(threads_.size());
    if (!WaitUntil([&] { return finished_.load() == n; }, bound)) {
      std::fprintf(stderr, "deadlock: %d of %d threads did not finish\n", n - finished_.load(), n);
      std::fflush(stderr);
      std::_Exit(3);
    }
    for (auto& t : threads_) t.join();
    threads_.clear();
    finished_.store(0);
  }

 private:
  std::vector<std::thread> threads_;
  std::atomic<int> finished_{0};
};

}  // namespace korvan::test
