#include "comm/uTimer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/uTickCount.h"

using namespace korvan;

namespace {
// Real time passes while a test runs; this much is allowed between two looks
// at the clock even on a loaded machine or under a sanitizer.
constexpr int64_t kSlack = 200;

// Moves the shared clock so that it reads `ticksBeforeWrap` below 2^32.
void BringClockBelowWrap(uint32_t ticksBeforeWrap) {
  AdvanceTickCount(static_cast<uint32_t>(0u - ticksBeforeWrap - GetTickCount()));
}
}  // namespace

TEST(TTimer, ExpiresOnceItsLimitHasPassed) {
  TTimer timer;
  timer.Start(1000);
  EXPECT_EQ(timer.Limit, 1000u);
  EXPECT_FALSE(timer.Expired());
  EXPECT_GT(timer.Remaining(), 1000 - kSlack);
  EXPECT_LE(timer.Remaining(), 1000);
  AdvanceTickCount(1000);
  EXPECT_TRUE(timer.Expired());
  EXPECT_LE(timer.Remaining(), 0);
  EXPECT_GE(timer.Elapsed(), 1000);
}

TEST(TTimer, CountsAcrossTheWrapOfTheTickCounter) {
  BringClockBelowWrap(1000);
  TTimer timer;
  timer.Start(3000);
  ASSERT_GT(timer.StartTick, 0xFFFFFFFFu - 1000 - kSlack);  // still before the wrap

  AdvanceTickCount(1500);  // now past 2^32: the counter reads a small value
  ASSERT_LT(GetTickCount(), timer.StartTick);
  EXPECT_GE(timer.Elapsed(), 1500);
  EXPECT_LT(timer.Elapsed(), 1500 + kSlack);
  EXPECT_FALSE(timer.Expired());
  EXPECT_GT(timer.Remaining(), 1500 - kSlack);
  EXPECT_LE(timer.Remaining(), 1500);

  AdvanceTickCount(1500);
  EXPECT_TRUE(timer.Expired());
  EXPECT_GT(timer.Remaining(), -kSlack);
}

TEST(TTimer, StartedJustAfterTheWrapDoesNotSeeOne) {
  BringClockBelowWrap(10);
  AdvanceTickCount(20);
  TTimer timer;
  timer.Start(500);
  EXPECT_LT(timer.Elapsed(), kSlack);
  EXPECT_FALSE(timer.Expired());
}

TEST(TTimer, RestartKeepsTheLimitAndCountsFromNow) {
  TTimer timer;
  timer.Start(300);
  AdvanceTickCount(250);
  timer.Restart();
  EXPECT_EQ(timer.Limit, 300u);
  EXPECT_GT(timer.Remaining(), 300 - kSlack);
  // An explicit limit is measured from the same start.
  EXPECT_LE(timer.Remaining(100), 100);
  AdvanceTickCount(300);
  EXPECT_TRUE(timer.Expired());
}

TEST(TTimer, ZeroLimitIsExpiredAtOnceAndTheLargestLimitIsNot) {
  TTimer zero;
  zero.Start(0);
  EXPECT_TRUE(zero.Expired());

  // 2^32 - 1 ms does not fit a signed 32-bit difference.
  TTimer longest;
  longest.Start(0xFFFFFFFFu);
  EXPECT_FALSE(longest.Expired());
  EXPECT_GT(longest.Remaining(), int64_t{0xFFFFFFFFu} - kSlack);
}

TEST(TTimer, ExpiresWithRealTime) {
  TTimer timer;
  const auto begin = std::chrono::steady_clock::now();
  timer.Start(20);
  const auto deadline = begin + std::chrono::seconds(5);
  while (!timer.Expired() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_TRUE(timer.Expired());
  EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(19));
}
