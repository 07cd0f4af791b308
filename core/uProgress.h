#pragma once
// How a long operation asks whoever drives it (a window, a terminal) whether to stop.
#include <functional>

namespace duomat {

// Empty means "never": an operation without a driver runs to its end.
struct TCancel {
  std::function<bool()> Requested;
  bool operator()() const { return Requested && Requested(); }
};

}  // namespace duomat
