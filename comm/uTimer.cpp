#include "comm/uTimer.h"

#include "platform/uTickCount.h"

namespace korvan {

void TTimer::Start(uint32_t limit) {
  StartTick = GetTickCount();
  Wraps = 0;
  Limit = limit;
}

void TTimer::Restart() {
  StartTick = GetTickCount();
  Wraps = 0;
}

int64_t TTimer::Elapsed() const {
  const int64_t now = GetTickCount();
  int64_t start = StartTick;
  if (now < start) start -= int64_t{1} << 32;  // the tick count wrapped since the start
  return now - start;
}

int64_t TTimer::Remaining(uint32_t limit) const { return static_cast<int64_t>(limit) - Elapsed(); }

}  // namespace korvan
