#pragma once
// A thread that runs one method once, started, waited for and freed by its owner.
#include <atomic>
#include <thread>

#include "comm/uMethod.h"
#include "platform/uEvent.h"

namespace korvan {

// A thread that runs one method once. It is created suspended and does not
// free itself: its owner starts it, waits for it and frees it.
class TThreadRunner {
 public:
  using TRunMethod = TMethod<void(TThreadRunner*)>;

  explicit TThreadRunner(TRunMethod method);
  ~TThreadRunner();
  TThreadRunner(const TThreadRunner&) = delete;
  TThreadRunner& operator=(const TThreadRunner&) = delete;

  void Start();
  void WaitFor();
  void Terminate() { terminated_.store(true); }
  bool Terminated() const { return terminated_.load(); }
  // Set once construction is complete.
  TEvent& Started() { return started_; }

 private:
  void Body();

  TRunMethod method_;
  TEvent started_{true, false};
  std::atomic<bool> terminated_{false};
  bool startedThread_ = false;  // a runner's thread is started once, never again
  std::thread thread_;
};

}  // namespace korvan
