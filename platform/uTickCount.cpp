#include "platform/uTickCount.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <time.h>

namespace korvan {

namespace {
std::atomic<uint32_t> g_offset{0};
}

uint32_t GetTickCount() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms) + g_offset.load(std::memory_order_relaxed);
}

void AdvanceTickCount(uint32_t milliseconds) { g_offset.fetch_add(milliseconds, std::memory_order_relaxed); }

void SleepMs(uint32_t milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

}  // namespace korvan
