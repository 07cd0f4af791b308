#pragma once
// A millisecond time limit on the 32-bit tick count that survives its wrap.
#include <cstdint>

namespace korvan {

struct TTimer {
  uint32_t StartTick = 0;
  int32_t Wraps = 0;
  uint32_t Limit = 0;
  uint32_t Spare = 0;

  void Start(uint32_t limit);
  void Restart();
  // Milliseconds left of `limit` since the start; 0 or less once it passed.
  int64_t Remaining(uint32_t limit) const;
  int64_t Remaining() const { return Remaining(Limit); }
  bool Expired() const { return Remaining() <= 0; }
  // Milliseconds since the start.
  int64_t Elapsed() const;
};

}  // namespace korvan
