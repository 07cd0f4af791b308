#pragma once
// The 32-bit millisecond tick count, sleeping, and the deterministic test clock.
#include <cstdint>

namespace korvan {

// Milliseconds since an arbitrary start, truncated to 32 bits: wraps every
// 49.7 days like the tick count the protocol timings were designed around.
uint32_t GetTickCount();

// Moves the clock forward for every thread (tests use it to cross the wrap).
void AdvanceTickCount(uint32_t milliseconds);

// Sleeps the calling thread.
void SleepMs(uint32_t milliseconds);

// Test seam for single-threaded, deterministic runs (the fuzz targets): while
// on, the tick count stands at `start` and moves only when SleepMs is called,
// by exactly the time asked, without sleeping. Off by default.
void SetSimulatedTime(bool on, uint32_t start = 0);

// Whether the simulated clock is on: waits then advance it instead of blocking.
bool SimulatedTime();

}  // namespace korvan
