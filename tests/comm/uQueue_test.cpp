#include "comm/uQueue.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <random>
#include <string>

using namespace korvan;

namespace {
// Long enough to live on the heap, so a lost or doubled move shows under ASan.
std::string Item(int i) { return "queued item number " + std::to_string(i) + std::string(24, '.'); }

std::string ErrorText(const std::function<void()>& f) {
  try {
    f();
  } catch (const EQueueError& e) {
    return e.what();
  }
  return "(no error)";
}
}  // namespace

TEST(TQueue, KeepsFifoOrderAcrossWrapAndGrowth) {
  TQueue<std::string> q;
  for (int i = 1; i <= 4; ++i) q.Push(Item(i));
  EXPECT_EQ(q.Capacity(), 4);
  EXPECT_EQ(q.Pop(), Item(1));
  EXPECT_EQ(q.Pop(), Item(2));
  // 5 and 6 wrap to the front of the array; 7 makes it grow.
  for (int i = 5; i <= 7; ++i) q.Push(Item(i));
  EXPECT_EQ(q.Capacity(), 8);
  ASSERT_EQ(q.Count(), 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(q.Item(i), Item(i + 3));
  for (int i = 3; i <= 7; ++i) EXPECT_EQ(q.Pop(), Item(i));
  EXPECT_EQ(q.Count(), 0);
}

TEST(TQueue, PopLastAndItemsWorkOnAWrappedQueue) {
  TQueue<std::string> q;
  for (int i = 1; i <= 4; ++i) q.Push(Item(i));
  q.Pop();
  q.Pop();
  q.Push(Item(5));
  q.Push(Item(6));  // wrapped: array holds 5 6 3 4
  q.SetItem(0, Item(30));
  EXPECT_EQ(q.PopLast(), Item(6));
  EXPECT_EQ(q.PopLast(), Item(5));
  // The tail steps back across the wrap.
  EXPECT_EQ(q.PopLast(), Item(4));
  q.Push(Item(7));
  EXPECT_EQ(q.Pop(), Item(30));
  EXPECT_EQ(q.Pop(), Item(7));
}

TEST(TQueue, PopOnAnEmptyQueueRaisesTheIndexError) {
  TQueue<int> q;
  EXPECT_EQ(ErrorText([&] { q.Pop(); }), "List index out of bounds (0)");
  EXPECT_EQ(ErrorText([&] { q.PopLast(); }), "List index out of bounds (-1)");
  q.Push(1);
  q.Pop();
  EXPECT_EQ(ErrorText([&] { q.Pop(); }), "List index out of bounds (0)");
  q.Push(1);
  q.Push(2);
  EXPECT_EQ(ErrorText([&] { q.Item(2); }), "List index out of bounds (2)");
  EXPECT_EQ(ErrorText([&] { q.SetItem(-1, 0); }), "List index out of bounds (-1)");
  EXPECT_EQ(q.Count(), 2);  // a failed call changes nothing
  EXPECT_EQ(q.Pop(), 1);
}

TEST(TQueue, RejectsCapacitiesBelowTheCountOrTooLarge) {
  TQueue<int> q;
  for (int i = 0; i < 5; ++i) q.Push(i);
  EXPECT_EQ(ErrorText([&] { q.SetCapacity(4); }), "List capacity out of bounds (4)");
  EXPECT_EQ(ErrorText([&] { q.SetCapacity(-1); }), "List capacity out of bounds (-1)");
  EXPECT_EQ(ErrorText([&] { q.SetCapacity(TQueue<int>::MaxCapacity); }), "List capacity out of bounds (134217728)");
  EXPECT_EQ(q.Count(), 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(q.Pop(), i);
}

TEST(TQueue, ShrinkingAWrappedQueueKeepsItsOrder) {
  TQueue<std::string> q;
  for (int i = 0; i < 12; ++i) q.Push(Item(i));
  for (int i = 0; i < 9; ++i) q.Pop();
  for (int i = 12; i < 17; ++i) q.Push(Item(i));  // wraps inside capacity 12
  ASSERT_EQ(q.Count(), 8);
  q.SetCapacity(8);
  EXPECT_EQ(q.Capacity(), 8);
  q.Push(Item(17));  // full again: grows from the shrunk array
  for (int i = 9; i <= 17; ++i) EXPECT_EQ(q.Pop(), Item(i));
}

TEST(TQueue, ClearEmptiesAndTheQueueIsUsableAgain) {
  TQueue<std::string> q;
  for (int i = 0; i < 10; ++i) q.Push(Item(i));
  q.Pop();
  q.Clear();
  EXPECT_EQ(q.Count(), 0);
  EXPECT_EQ(q.Capacity(), 0);
  EXPECT_THROW(q.Pop(), EQueueError);
  q.Push(Item(100));
  q.Push(Item(101));
  EXPECT_EQ(q.Pop(), Item(100));
  EXPECT_EQ(q.PopLast(), Item(101));
}

// Against a reference deque, through many growths, wraps and both ends.
TEST(TQueue, MatchesADequeUnderRandomPushesAndPops) {
  std::mt19937 rng(7);
  TQueue<std::string> q;
  std::deque<std::string> expected;
  int next = 0;
  for (int step = 0; step < 20000; ++step) {
    const unsigned r = rng() % 10;
    if (r < 6 || expected.empty()) {
      q.Push(Item(next));
      expected.push_back(Item(next++));
    } else if (r < 9) {
      ASSERT_EQ(q.Pop(), expected.front());
      expected.pop_front();
    } else {
      ASSERT_EQ(q.PopLast(), expected.back());
      expected.pop_back();
    }
    ASSERT_EQ(q.Count(), static_cast<int>(expected.size()));
  }
  for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(q.Item(static_cast<int>(i)), expected[i]);
}
