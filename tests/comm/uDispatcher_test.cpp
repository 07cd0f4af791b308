#include "comm/uDispatcher.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>
#include "support/TWait.h"

using korvan::test::WaitUntil;
using korvan::test::IsBlocked;

using namespace korvan;
using namespace std::chrono_literals;

namespace {

// What the handlers saw, in order, and on which thread.
class TLog {
 public:
  void Add(std::string entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.push_back(std::move(entry));
    threads_.push_back(std::this_thread::get_id());
  }
  std::vector<std::string> Entries() {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_;
  }
  std::vector<std::thread::id> Threads() {
    std::lock_guard<std::mutex> lock(mutex_);
    return threads_;
  }
  size_t Count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_.size();
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> entries_;
  std::vector<std::thread::id> threads_;
};

using TTextList = TDispatcherEventSlotListOf<IInterface*, std::string>;
using TTextHandler = TTextList::THandler;

class TSubscriber : public TMyInterfacedObject {
 public:
  TSubscriber(std::string name, TLog& log, std::atomic<int>* destroyed = nullptr)
      : name_(std::move(name)), log_(log), destroyed_(destroyed) {}
  ~TSubscriber() override {
    if (destroyed_) ++*destroyed_;
  }

  void OnText(IInterface*, std::string text) {
    if (text == "throw") throw std::runtime_error("handler failed");
    log_.Add(name_ + ":" + text);
  }
  void OnOther(IInterface*, std::string text) { log_.Add(name_ + "/other:" + text); }

  TTextHandler Text() { return TTextHandler::Bind<&TSubscriber::OnText>(this); }
  TTextHandler Other() { return TTextHandler::Bind<&TSubscriber::OnOther>(this); }

 private:
  std::string name_;
  TLog& log_;
  std::atomic<int>* destroyed_;
};

std::atomic<int> g_freeFunctionCalls{0};
void FreeFunction(IInterface*, std::string) { ++g_freeFunctionCalls; }

std::vector<std::string> Strings(std::initializer_list<const char*> items) { return {items.begin(), items.end()}; }

}  // namespace

TEST(TDispatcherThread, RunsQueuedEventsInOrderOnItsOwnThread) {
  TLog log;
  auto sub = CreateObject<TSubscriber>("s", log);
  TDispatcherThread dispatcher;
  TTextList list;
  list.Subscribe(sub->Text(), sub, dispatcher.Queue());

  std::vector<std::string> expected;
  for (int i = 0; i < 20; ++i) {
    list.Raise(nullptr, std::to_string(i));
    expected.push_back("s:" + std::to_string(i));
  }
  ASSERT_TRUE(WaitUntil([&] { return log.Count() == expected.size(); }));
  EXPECT_EQ(log.Entries(), expected);
  const auto threads = log.Threads();
  EXPECT_NE(threads.front(), std::this_thread::get_id());
  for (const auto& id : threads) EXPECT_EQ(id, threads.front());
  list.Clear(true);
}

TEST(TDispatcherThread, KeepsEachRaisingThreadsOrder) {
  TLog log;
  auto sub = CreateObject<TSubscriber>("s", log);
  TDispatcherThread dispatcher;
  TTextList list;
  list.Subscribe(sub->Text(), sub, dispatcher.Queue());

  constexpr int kThreads = 3, kEach = 15;
  std::vector<std::thread> raisers;
  for (int t = 0; t < kThreads; ++t)
    raisers.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) list.Raise(nullptr, std::to_string(t) + "." + std::to_string(i));
    });
  for (auto& r : raisers) r.join();
  ASSERT_TRUE(WaitUntil([&] { return log.Count() == kThreads * kEach; }));

  std::vector<int> next(kThreads, 0);
  for (const std::string& e : log.Entries()) {
    const int t = e[2] - '0';
    EXPECT_EQ(e, "s:" + std::to_string(t) + "." + std::to_string(next[t])) << "out of order";
    ++next[t];
  }
  list.Clear(true);
}

TEST(TDispatcherThread, GoesOnAfterAHandlerThrows) {
  TLog log;
  auto sub = CreateObject<TSubscriber>("s", log);
  TDispatcherThread dispatcher;
  TTextList list;
  list.Subscribe(sub->Text(), sub, dispatcher.Queue());
  list.Raise(nullptr, "throw");
  list.Raise(nullptr, "after");
  ASSERT_TRUE(WaitUntil([&] { return log.Count() == 1; }));
  EXPECT_EQ(log.Entries(), Strings({"s:after"}));
  list.Clear(true);
}

// The worker is held inside the first event while the dispatcher is being
// destroyed; the second event must then be destroyed unrun and its owner let go.
TEST(TDispatcherThread, DestroysEventsThatHaveNotRunAndReleasesTheirOwners) {
  struct TGate : TMyInterfacedObject {
    TEvent entered{true, false}, open{true, false};
    void OnText(IInterface*, std::string) {
      entered.SetEvent();
      open.WaitFor(5000);
    }
  };
  TLog log;
  std::atomic<int> destroyed{0};
  auto gate = CreateObject<TGate>();
  auto sub = CreateObject<TSubscriber>("s", log, &destroyed);
  auto dispatcher = std::make_unique<TDispatcherThread>();
  TTextList gateList, subList;
  gateList.Subscribe(TTextHandler::Bind<&TGate::OnText>(gate.get()), gate, dispatcher->Queue());
  subList.Subscribe(sub->Text(), sub, dispatcher->Queue());

  gateList.Raise(nullptr, "hold");
  ASSERT_TRUE(gate->entered.WaitFor(5000));
  subList.Raise(nullptr, "never");
  subList.Clear(false);  // the queued event alone keeps the subscriber now
  gateList.Clear(true);  // a slot must not outlive the queue it points to
  sub = nullptr;
  EXPECT_EQ(destroyed, 0);

  std::atomic<pid_t> destroyerTid{0};
  std::thread destroyer([&] {
    destroyerTid = gettid();
    dispatcher.reset();
  });
  // Once the destroyer waits for the worker, the worker has been told to stop.
  const bool waiting = WaitUntil([&] { return destroyerTid != 0 && IsBlocked(destroyerTid); });
  gate->open.SetEvent();
  destroyer.join();
  EXPECT_TRUE(waiting);
  EXPECT_EQ(log.Count(), 0u);
  EXPECT_EQ(destroyed, 1);
}

TEST(TDispatcherEventSlotList, SubscribingTheSameHandlerTwiceLeavesOneSlot) {
  TLog log;
  auto a = CreateObject<TSubscriber>("a", log);
  auto b = CreateObject<TSubscriber>("b", log);
  TDispatcher dispatcher;
  TTextList list;
  list.Subscribe(a->Text(), a, dispatcher.Queue());
  list.Subscribe(a->Text(), a, dispatcher.Queue());
  EXPECT_EQ(list.Count(), 1);
  list.Raise(nullptr, "x");
  EXPECT_EQ(dispatcher.Queue()->Count(), 1);

  // Another object, or another method of the same object, is another subscriber.
  list.Subscribe(b->Text(), b, dispatcher.Queue());
  list.Subscribe(a->Other(), a, dispatcher.Queue());
  EXPECT_EQ(list.Count(), 3);
  list.Raise(nullptr, "y");
  while (dispatcher.ProcessOne()) {
  }
  EXPECT_EQ(log.Entries(), Strings({"a:x", "a:y", "b:y", "a/other:y"}));
}

TEST(TDispatcherEventSlotList, SubscribingAgainMovesTheSlotToTheNewQueue) {
  TLog log;
  auto a = CreateObject<TSubscriber>("a", log);
  TDispatcher first;
  TTextList list;
  list.Subscribe(a->Text(), a, first.Queue());
  list.Subscribe(a->Text(), a, nullptr);
  list.Raise(nullptr, "now");
  EXPECT_EQ(first.Queue()->Count(), 0);
  EXPECT_EQ(log.Entries(), Strings({"a:now"}));
}

TEST(TDispatcherEventSlotList, ClearWithPurgeRemovesOnlyItsOwnEventsAndKeepsTheOthersInOrder) {
  TLog log;
  auto a = CreateObject<TSubscriber>("a", log);
  auto b = CreateObject<TSubscriber>("b", log);
  TDispatcher dispatcher;
  TTextList listA, listB;
  listA.Subscribe(a->Text(), a, dispatcher.Queue());
  listB.Subscribe(b->Text(), b, dispatcher.Queue());
  listA.Raise(nullptr, "1");
  listB.Raise(nullptr, "2");
  listA.Raise(nullptr, "3");
  listB.Raise(nullptr, "4");
  listA.Raise(nullptr, "5");
  listB.Raise(nullptr, "6");
  ASSERT_EQ(dispatcher.Queue()->Count(), 6);

  listA.Clear(true);
  EXPECT_EQ(listA.Count(), 0);
  EXPECT_EQ(dispatcher.Queue()->Count(), 3);
  while (dispatcher.ProcessOne()) {
  }
  EXPECT_EQ(log.Entries(), Strings({"b:2", "b:4", "b:6"}));
}

TEST(TDispatcherEventSlotList, ClearWithoutPurgeLeavesQueuedEventsThatKeepTheirOwnerAlive) {
  TLog log;
  std::atomic<int> destroyed{0};
  auto a = CreateObject<TSubscriber>("a", log, &destroyed);
  TDispatcher dispatcher;
  TTextList list;
  list.Subscribe(a->Text(), a, dispatcher.Queue());
  list.Raise(nullptr, "late");
  list.Clear(false);
  a = nullptr;
  EXPECT_EQ(destroyed, 0);
  EXPECT_TRUE(dispatcher.ProcessOne());
  EXPECT_EQ(log.Entries(), Strings({"a:late"}));
  EXPECT_EQ(destroyed, 1);  // the run event was destroyed and let its owner go
}

TEST(TDispatcherEventSlotList, DestroyingTheListPurgesItsEvents) {
  TLog log;
  std::atomic<int> destroyed{0};
  auto a = CreateObject<TSubscriber>("a", log, &destroyed);
  auto b = CreateObject<TSubscriber>("b", log);
  TDispatcher dispatcher;
  TTextList keep;
  keep.Subscribe(b->Text(), b, dispatcher.Queue());
  {
    TTextList list;
    list.Subscribe(a->Text(), a, dispatcher.Queue());
    list.Raise(nullptr, "gone");
    keep.Raise(nullptr, "kept");
  }
  a = nullptr;
  EXPECT_EQ(destroyed, 1);
  while (dispatcher.ProcessOne()) {
  }
  EXPECT_EQ(log.Entries(), Strings({"b:kept"}));
}

TEST(TDispatcherEventSlot, PurgeRemovesOnlyThisSlotsEvents) {
  TLog log;
  auto a = CreateObject<TSubscriber>("a", log);
  auto b = CreateObject<TSubscriber>("b", log);
  TDispatcherQueue queue;
  TDispatcherEventSlotUniversal slotA, slotB;
  slotA.Set(a->Text(), a, &queue);
  slotB.Set(b->Text(), b, &queue);
  EXPECT_NE(slotA.Tag(), slotB.Tag());
  using TTextEvent = TTextList::TEventType;
  slotB.Dispatch(std::make_unique<TTextEvent>(nullptr, "1"));
  slotA.Dispatch(std::make_unique<TTextEvent>(nullptr, "2"));
  slotB.Dispatch(std::make_unique<TTextEvent>(nullptr, "3"));
  slotA.Dispatch(std::make_unique<TTextEvent>(nullptr, "4"));
  slotB.Dispatch(std::make_unique<TTextEvent>(nullptr, "5"));
  slotA.Purge();
  ASSERT_EQ(queue.Count(), 3);
  while (auto event = queue.Pop()) {
    EXPECT_EQ(event->Tag, slotB.Tag());
    event->Execute();
  }
  EXPECT_EQ(log.Entries(), Strings({"b:1", "b:3", "b:5"}));
}

TEST(TDispatcherEventSlot, WithoutQueueRunsTheEventAtOnceOnTheRaisingThread) {
  TLog log;
  auto a = CreateObject<TSubscriber>("a", log);
  TTextList list;
  list.Subscribe(a->Text(), a, nullptr);
  list.Raise(nullptr, "direct");
  EXPECT_EQ(log.Entries(), Strings({"a:direct"}));
  EXPECT_EQ(log.Threads().front(), std::this_thread::get_id());
}

TEST(TDispatcherEvent, WhoseHandlerHasNoObjectIsNeverRun) {
  g_freeFunctionCalls = 0;
  TDispatcher dispatcher;
  TTextList list;
  list.Subscribe(TTextHandler::Bind<&FreeFunction>(), nullptr, dispatcher.Queue());
  list.Raise(nullptr, "queued");
  EXPECT_TRUE(dispatcher.ProcessOne());  // popped and destroyed ...
  EXPECT_EQ(g_freeFunctionCalls, 0);     // ... but not run

  TTextList direct;
  direct.Subscribe(TTextHandler::Bind<&FreeFunction>(), nullptr, nullptr);
  direct.Raise(nullptr, "direct");
  EXPECT_EQ(g_freeFunctionCalls, 0);

  TTextList::TEventType unset(nullptr, "no handler");
  unset.Execute();
  EXPECT_EQ(g_freeFunctionCalls, 0);
}

TEST(TDispatcherEvent, CarriesItsOwnCopyOfTheArguments) {
  TLog log;
  auto a = CreateObject<TSubscriber>("a", log);
  TDispatcher dispatcher;
  TTextList list;
  list.Subscribe(a->Text(), a, dispatcher.Queue());
  {
    std::string text = "original text long enough to be on the heap";
    list.Raise(nullptr, text);
    text.assign(64, 'x');
  }
  dispatcher.ProcessOne();
  EXPECT_EQ(log.Entries(), Strings({"a:original text long enough to be on the heap"}));
}

TEST(TDispatcherQueue, RemoveTaggedKeepsTheOthersInOrderAndClearDestroysAll) {
  TLog log;
  auto a = CreateObject<TSubscriber>("a", log);
  TDispatcherQueue queue;
  for (const char* tag : {"x", "y", "x", "x", "y", "z"}) {
    auto event = std::make_unique<TTextList::TEventType>(nullptr, tag);
    event->Tag = tag;
    event->Handler = a->Text();
    event->Owner = a;
    queue.Push(std::move(event));
  }
  queue.Push(nullptr);  // ignored
  queue.RemoveTagged("x");
  ASSERT_EQ(queue.Count(), 3);
  for (const char* expected : {"y", "y", "z"}) EXPECT_EQ(queue.Pop()->Tag, expected);
  EXPECT_EQ(queue.Pop(), nullptr);

  auto event = std::make_unique<TTextList::TEventType>(nullptr, "t");
  event->Owner = a;
  queue.Push(std::move(event));
  EXPECT_EQ(a->RefCount(), 2);
  queue.Clear();
  EXPECT_EQ(queue.Count(), 0);
  EXPECT_EQ(a->RefCount(), 1);
}

TEST(TDispatcher, ProcessOneHandsAHandlersExceptionToTheHookAndNeverThrows) {
  struct TCountingDispatcher : TDispatcher {
    int exceptions = 0;
    bool hookThrows = false;
    void HandleException(std::exception_ptr e) override {
      ++exceptions;
      EXPECT_THROW(std::rethrow_exception(e), std::runtime_error);
      if (hookThrows) throw std::logic_error("hook failed");
    }
  };
  TLog log;
  auto a = CreateObject<TSubscriber>("a", log);
  TCountingDispatcher dispatcher;
  TTextList list;
  list.Subscribe(a->Text(), a, dispatcher.Queue());
  list.Raise(nullptr, "throw");
  list.Raise(nullptr, "throw");
  EXPECT_TRUE(dispatcher.ProcessOne());
  dispatcher.hookThrows = true;
  EXPECT_NO_THROW(dispatcher.ProcessOne());
  EXPECT_EQ(dispatcher.exceptions, 2);
  EXPECT_FALSE(dispatcher.ProcessOne());
}

TEST(TNotifyEventThread, CallsItsMethodOnceWithItselfOnAnotherThread) {
  struct TBody {
    std::atomic<int> calls{0};
    TNotifyEventThread* seen = nullptr;
    std::thread::id thread;
    void Run(TNotifyEventThread* t) {
      ++calls;
      seen = t;
      thread = std::this_thread::get_id();
      throw std::runtime_error("a thread body never ends the program");
    }
  } body;
  TNotifyEventThread thread(TNotifyEventThread::TMethodType::Bind<&TBody::Run>(&body));
  thread.Start();
  thread.Start();  // already running: no second thread
  thread.WaitFor();
  EXPECT_EQ(body.calls, 1);
  EXPECT_EQ(body.seen, &thread);
  EXPECT_NE(body.thread, std::this_thread::get_id());

  TNotifyEventThread empty{TNotifyEventThread::TMethodType()};
  empty.Start();
  empty.WaitFor();
}

// A queued event holds its Sender: the Sender cannot be freed under it.
TEST(TDispatcherEvent, KeepsItsSenderAliveWhileQueued) {
  TLog log;
  std::atomic<int> destroyed{0};
  auto subscriber = CreateObject<TSubscriber>("s", log);
  auto sender = CreateObject<TSubscriber>("sender", log, &destroyed);
  TDispatcherQueue queue;
  TTextList list;
  list.Subscribe(subscriber->Text(), subscriber, &queue);
  list.Raise(sender.get(), "queued");
  sender = nullptr;
  EXPECT_EQ(destroyed, 0);
  queue.Clear();
  EXPECT_EQ(destroyed, 1);
}
