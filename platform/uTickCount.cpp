#include "platform/uTickCount.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <time.h>

namespace korvan {

namespace {
std::atomic<uint32_t> g_offset{0};
std::atomic<bool> g_simulated{false};
std::atomic<uint32_t> g_simulatedTick{0};
}  // namespace

void SetSimulatedTime(bool on, uint32_t start) {
  g_simulatedTick.store(start);
  g_simulated.store(on);
}

bool SimulatedTime() { return g_simulated.load(std::memory_order_relaxed); }

uint32_t GetTickCount() {
  if (g_simulated.load(std::memory_order_relaxed)) return g_simulatedTick.load(std::memory_order_relaxed);
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms) + g_offset.load(std::memory_order_relaxed);
}

void AdvanceTickCount(uint32_t milliseconds) { g_offset.fetch_add(milliseconds, std::memory_order_relaxed); }

void SleepMs(uint32_t milliseconds) {
  if (g_simulated.load(std::memory_order_relaxed)) {
    g_simulatedTick.fetch_add(milliseconds, std::memory_order_relaxed);
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace korvan
