#include "comm/uEventer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>
#include "support/TWait.h"

using korvan::test::WaitUntil;
using korvan::test::TBoundedThreads;

using namespace korvan;
using namespace std::chrono_literals;

namespace {

using TIntEventer = TEventer<void(int)>;

class TLog {
 public:
  void Add(std::string s) {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.push_back(std::move(s));
  }
  std::vector<std::string> Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(entries_, {});
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> entries_;
};

// A handler that logs its name and the value, then does what the test asks of it.
struct TListener {
  std::string name;
  TLog* log;
  std::function<void(int)> action;

  void OnEvent(int value) {
    log->Add(name + std::to_string(value));
    if (action) action(value);
  }
  TIntEventer::THandler Handler() { return TIntEventer::THandler::Bind<&TListener::OnEvent>(this); }
};

std::vector<std::string> Strings(std::initializer_list<const char*> items) { return {items.begin(), items.end()}; }

}  // namespace

TEST(TEventer, CallsHandlersInRegistrationOrderAndAddsEachOnce) {
  TLog log;
  TListener a{"a", &log, {}}, b{"b", &log, {}}, c{"c", &log, {}};
  TIntEventer eventer;
  eventer.Add(a.Handler());
  eventer.Add(b.Handler());
  eventer.Add(c.Handler());
  eventer.Add(a.Handler());
  EXPECT_EQ(eventer.Count(), 3);
  eventer.Notify(1);
  EXPECT_EQ(log.Take(), Strings({"a1", "b1", "c1"}));

  eventer.Remove(b.Handler());
  eventer.Remove(b.Handler());  // no longer there: nothing happens
  EXPECT_EQ(eventer.Count(), 2);
  eventer.Notify(2);
  EXPECT_EQ(log.Take(), Strings({"a2", "c2"}));
}

TEST(TEventer, AHandlerRemovedDuringANotificationIsNotCalledLaterInIt) {
  TLog log;
  TIntEventer eventer;
  TListener a{"a", &log, {}}, b{"b", &log, {}}, c{"c", &log, {}};
  a.action = [&](int) { eventer.Remove(c.Handler()); };
  eventer.Add(a.Handler());
  eventer.Add(b.Handler());
  eventer.Add(c.Handler());
  eventer.Notify(1);
  EXPECT_EQ(log.Take(), Strings({"a1", "b1"}));
  EXPECT_EQ(eventer.Count(), 2);
  eventer.Notify(2);
  EXPECT_EQ(log.Take(), Strings({"a2", "b2"}));
}

TEST(TEventer, AHandlerAddedDuringANotificationIsCalledInIt) {
  TLog log;
  TIntEventer eventer;
  TListener a{"a", &log, {}}, b{"b", &log, {}}, d{"d", &log, {}};
  a.action = [&](int) { eventer.Add(d.Handler()); };  // only the first time has an effect
  eventer.Add(a.Handler());
  eventer.Add(b.Handler());
  eventer.Notify(1);
  EXPECT_EQ(log.Take(), Strings({"a1", "b1", "d1"}));
  eventer.Notify(2);
  EXPECT_EQ(log.Take(), Strings({"a2", "b2", "d2"}));
}

TEST(TEventer, AHandlerRemovedAndAddedAgainDuringANotificationRunsOnceAtItsNewPlace) {
  TLog log;
  TIntEventer eventer;
  TListener a{"a", &log, {}}, b{"b", &log, {}}, c{"c", &log, {}};
  a.action = [&](int) {
    eventer.Remove(b.Handler());
    eventer.Add(b.Handler());
  };
  eventer.Add(a.Handler());
  eventer.Add(b.Handler());
  eventer.Add(c.Handler());
  eventer.Notify(1);
  EXPECT_EQ(log.Take(), Strings({"a1", "c1", "b1"}));
  EXPECT_EQ(eventer.Count(), 3);
  a.action = nullptr;
  eventer.Notify(2);
  EXPECT_EQ(log.Take(), Strings({"a2", "c2", "b2"}));
}

TEST(TEventer, AHandlerRemovingItselfFinishesAndIsNotCalledAgain) {
  TLog log;
  TIntEventer eventer;
  TListener a{"a", &log, {}}, b{"b", &log, {}}, c{"c", &log, {}};
  b.action = [&](int) { eventer.Remove(b.Handler()); };
  eventer.Add(a.Handler());
  eventer.Add(b.Handler());
  eventer.Add(c.Handler());
  eventer.Notify(1);
  EXPECT_EQ(log.Take(), Strings({"a1", "b1", "c1"}));
  eventer.Notify(2);
  EXPECT_EQ(log.Take(), Strings({"a2", "c2"}));
  // Its place was compacted away: adding it again puts it last, once.
  eventer.Add(b.Handler());
  b.action = nullptr;
  eventer.Notify(3);
  EXPECT_EQ(log.Take(), Strings({"a3", "c3", "b3"}));
}

TEST(TEventer, AHandlerThatNotifiesTheSameEventerAgainDoesNotHang) {
  TLog log;
  TIntEventer eventer;
  TListener a{"a", &log, {}}, r{"r", &log, {}}, b{"b", &log, {}}, c{"c", &log, {}};
  r.action = [&](int value) {
    if (value == 1) eventer.Notify(2);
  };
  // Removing inside the nested notification must not upset the outer walk.
  b.action = [&](int) { eventer.Remove(c.Handler()); };
  eventer.Add(a.Handler());
  eventer.Add(r.Handler());
  eventer.Add(b.Handler());
  eventer.Add(c.Handler());
  TBoundedThreads threads;
  threads.Start([&] { eventer.Notify(1); });
  threads.JoinAll();
  // The nested notification skips the handler it was raised from.
  EXPECT_EQ(log.Take(), Strings({"a1", "r1", "a2", "b2", "b1"}));
  EXPECT_EQ(eventer.Count(), 3);
  b.action = nullptr;
  eventer.Notify(3);
  EXPECT_EQ(log.Take(), Strings({"a3", "r3", "b3"}));
}

TEST(TEventer, AHandlersExceptionReachesTheNotifierAndLeavesTheEventerUsable) {
  TLog log;
  TIntEventer eventer;
  TListener a{"a", &log, {}}, b{"b", &log, {}};
  a.action = [](int value) {
    if (value == 1) throw std::runtime_error("handler failed");
  };
  eventer.Add(a.Handler());
  eventer.Add(b.Handler());
  EXPECT_THROW(eventer.Notify(1), std::runtime_error);
  EXPECT_EQ(log.Take(), Strings({"a1"}));

  // Nothing stays marked busy: another thread gets through both handlers.
  TBoundedThreads threads;
  threads.Start([&] { eventer.Notify(2); });
  threads.JoinAll();
  EXPECT_EQ(log.Take(), Strings({"a2", "b2"}));
}

// The first thread is held inside `held` until the second has passed the
// handler before it; the second must then wait rather than enter `held` too.
TEST(TEventer, AHandlerIsNeverRunByTwoThreadsAtOnce) {
  TLog log;
  TIntEventer eventer;
  std::atomic<int> passedFirst{0}, inside{0}, maxInside{0}, heldCalls{0};
  std::atomic<bool> firstInHeld{false};
  TListener first{"p", &log, [&](int) { ++passedFirst; }};
  TListener held{"h", &log, {}};
  held.action = [&](int value) {
    const int now = ++inside;
    maxInside = std::max(maxInside.load(), now);
    ++heldCalls;
    if (value == 1) {
      firstInHeld = true;
      EXPECT_TRUE(WaitUntil([&] { return passedFirst.load() == 2; }));
      // A second entry would show up at once; this bound only waits for a fault.
      EXPECT_FALSE(WaitUntil([&] { return inside.load() > 1; }, 100ms));
    }
    --inside;
  };
  eventer.Add(first.Handler());
  eventer.Add(held.Handler());

  TBoundedThreads threads;
  threads.Start([&] { eventer.Notify(1); });
  ASSERT_TRUE(WaitUntil([&] { return firstInHeld.load(); }));
  threads.Start([&] { eventer.Notify(2); });
  threads.JoinAll();
  EXPECT_EQ(maxInside, 1);
  EXPECT_EQ(heldCalls, 2);  // the second thread waited and then ran it
}

TEST(TEventer, ConcurrentNotificationsNeverOverlapInOneHandler) {
  TLog log;
  TIntEventer eventer;
  std::atomic<int> inside{0}, overlaps{0}, calls{0};
  TListener h{"h", &log, {}};
  h.action = [&](int) {
    if (++inside != 1) ++overlaps;
    for (int i = 0; i < 50; ++i) std::this_thread::yield();
    --inside;
    ++calls;
  };
  TListener other{"o", &log, {}};
  eventer.Add(other.Handler());
  eventer.Add(h.Handler());
  TBoundedThreads threads;
  constexpr int kThreads = 4, kEach = 10;
  for (int t = 0; t < kThreads; ++t)
    threads.Start([&] {
      for (int i = 0; i < kEach; ++i) eventer.Notify(i);
    });
  threads.JoinAll(20s);
  EXPECT_EQ(overlaps, 0);
  EXPECT_EQ(calls, kThreads * kEach);
}

TEST(TEventer, AddAndRemoveFromAnotherThreadDuringNotificationsStaySafe) {
  struct TCounter {
    std::atomic<int> calls{0};
    void On(int) { ++calls; }
    TIntEventer::THandler Handler() { return TIntEventer::THandler::Bind<&TCounter::On>(this); }
  } stable, toggling;
  TIntEventer eventer;
  eventer.Add(stable.Handler());
  constexpr int kNotifications = 5000;
  std::atomic<bool> done{false};
  TBoundedThreads threads;
  threads.Start([&] {
    for (int i = 0; i < kNotifications; ++i) eventer.Notify(i);
    done = true;
  });
  threads.Start([&] {
    while (!done) {
      eventer.Add(toggling.Handler());
      eventer.Remove(toggling.Handler());
    }
  });
  threads.JoinAll(20s);
  EXPECT_EQ(stable.calls, kNotifications);
  EXPECT_LE(toggling.calls, kNotifications);
  EXPECT_EQ(eventer.Count(), 1);
}
