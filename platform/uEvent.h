#pragma once
// An event threads wait on with a time-out, auto-reset or manual-reset.
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace korvan {

constexpr uint32_t INFINITE = 0xFFFFFFFF;

// A signalled/unsignalled event. An auto-reset event releases one waiter and
// resets itself; a manual-reset event stays signalled until reset.
class TEvent {
 public:
  TEvent(bool manualReset, bool initialState);
  TEvent(const TEvent&) = delete;
  TEvent& operator=(const TEvent&) = delete;

  void SetEvent();
  void ResetEvent();
  // True when the event was signalled within the time-out (INFINITE waits forever).
  bool WaitFor(uint32_t milliseconds);

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  const bool manualReset_;
  bool signalled_;
};

}  // namespace korvan
