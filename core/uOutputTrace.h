#pragma once
// The output test's recent past: set and read-back values per output over a sliding window, and each watchdog's clock.
#include <array>
#include <cstddef>
#include <deque>
#include <vector>

namespace duomat {

// Seconds since the test began, and a value in the output's unit.
struct TTracePoint {
  double Time = 0;
  double Value = 0;
};

// What a chart draws: the set value as steps carried on to "now", the
// read-back as measured, both cut at the window's left edge. Owned by one thread.
class TOutputTrace {
 public:
  explicit TOutputTrace(double windowSeconds = 120) : window_(windowSeconds) {}

  double Window() const { return window_; }
  void Set(size_t output, double time, double value);
  void ReadBack(size_t output, double time, double value);

  std::vector<TTracePoint> SetLine(size_t output, double now) const;
  std::vector<TTracePoint> ReadLine(size_t output, double now) const;

  // Drops what lies wholly before the window, keeping the set value still in force.
  void Forget(double now);

 private:
  double window_;
  std::array<std::deque<TTracePoint>, 2> set_, read_;
};

// A watchdog's time-out against the time since the module last heard a request.
struct TWatchDogClock {
  enum class TState { Off, Running, Expired };
  TState State = TState::Off;
  double Elapsed = 0;  // seconds
  int Timeout = 0;     // seconds, 0 when off
};

TWatchDogClock WatchDogClock(int timeoutSeconds, double secondsSinceLastRequest);

}  // namespace duomat
