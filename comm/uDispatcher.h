#pragma once
// Queued events and the dispatcher threads and slot lists that run their handlers.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <type_traits>
#include <vector>

#include "comm/uMethod.h"
#include "comm/uQueue.h"
#include "comm/uSynchronizer.h"
#include "comm/ui_MyInterfacedObject.h"
#include "platform/uEvent.h"

namespace korvan {

// One unit of queued work: the slot stamps its tag, handler and owner on it.
// The owner stays alive as long as the event exists.
class TDispatcherEvent {
 public:
  virtual ~TDispatcherEvent() = default;
  virtual void Execute() = 0;

  std::string Tag;
  TMethodData Handler;
  TRef<IInterface> Owner;

 protected:
  // A handler without object is never run.
  bool CanRun() const { return Handler.Code != nullptr && Handler.Data != nullptr; }
};

// How a queued event keeps one argument: counted objects (a Sender) by a
// counted reference, so that a queued event never names a freed object;
// anything else by value.
template <class T>
struct TEventArgument {
  using Held = std::decay_t<T>;
  static const Held& Pass(const Held& value) { return value; }
};
// A type only declared where the event is made (a plain object such as a
// device of a transport) cannot be known as counted and is held as a pointer.
template <class T>
concept CCountedEventArgument = requires { sizeof(T); } && std::is_base_of_v<IInterface, T>;
template <class T>
  requires CCountedEventArgument<T>
struct TEventArgument<T*> {
  using Held = TRef<T>;
  static T* Pass(const Held& value) { return value.get(); }
};

// An event that calls its handler with the arguments it was raised with.
template <class... Args>
class TDispatcherEventOf : public TDispatcherEvent {
 public:
  using THandler = TMethod<void(Args...)>;

  explicit TDispatcherEventOf(Args... args) : Arguments(std::move(args)...) {}

  void Execute() override {
    if (!CanRun()) return;
    const THandler handler = THandler::FromData(Handler);
    std::apply([&](auto&... a) { handler(TEventArgument<Args>::Pass(a)...); }, Arguments);
  }

  std::tuple<typename TEventArgument<Args>::Held...> Arguments;
};

// (Sender) events; the Sender is an interface of the raising object.
template <class TSender = IInterface>
using TDispatcherEventInterfaceEvent = TDispatcherEventOf<TSender*>;

// A queue of events with its own lock.
class TDispatcherQueue {
 public:
  TDispatcherQueue();
  virtual ~TDispatcherQueue();
  TDispatcherQueue(const TDispatcherQueue&) = delete;
  TDispatcherQueue& operator=(const TDispatcherQueue&) = delete;

  // Takes ownership of the event.
  virtual void Push(std::unique_ptr<TDispatcherEvent> event);
  std::unique_ptr<TDispatcherEvent> Pop();
  int Count();
  void Clear();
  // Destroys every queued event with this tag; the others keep their order.
  void RemoveTagged(const std::string& tag);

 protected:
  TMultiReadExclusiveWriteSynchronizerExtended lock_;
  TQueue<TDispatcherEvent*> queue_;
};

// A queue that wakes its worker when something is pushed.
class TDispatcherThreadQueue : public TDispatcherQueue {
 public:
  explicit TDispatcherThreadQueue(TEvent& wakeUp) : wakeUp_(wakeUp) {}
  void Push(std::unique_ptr<TDispatcherEvent> event) override;

 private:
  TEvent& wakeUp_;
};

// Owns one queue and runs its events when asked.
class TDispatcher {
 public:
  TDispatcher() = default;
  virtual ~TDispatcher() = default;
  TDispatcher(const TDispatcher&) = delete;
  TDispatcher& operator=(const TDispatcher&) = delete;

  TDispatcherQueue* Queue();
  // Pops one event, runs it and destroys it; false when the queue was empty.
  bool ProcessOne();

 protected:
  virtual std::unique_ptr<TDispatcherQueue> CreateQueue();
  virtual void HandleException(std::exception_ptr) {}
  void FreeQueue();

 private:
  std::once_flag queueOnce_;
  std::unique_ptr<TDispatcherQueue> queue_;
};

// A thread that calls one method once, with itself as argument.
class TNotifyEventThread {
 public:
  using TMethodType = TMethod<void(TNotifyEventThread*)>;

  explicit TNotifyEventThread(TMethodType method) : method_(method) {}
  virtual ~TNotifyEventThread();
  TNotifyEventThread(const TNotifyEventThread&) = delete;
  TNotifyEventThread& operator=(const TNotifyEventThread&) = delete;

  void Start();
  void Terminate() { terminated_.store(true); }
  bool Terminated() const { return terminated_.load(); }
  // Waits until the thread body has returned.
  void WaitFor();
  bool IsCurrentThread() const { return thread_.get_id() == std::this_thread::get_id(); }

 private:
  void Body();

  TMethodType method_;
  std::atomic<bool> terminated_{false};
  std::thread thread_;
};

// A dispatcher with a worker thread of its own that runs the queued events
// as they come and sleeps while there are none.
class TDispatcherThread : public TDispatcher {
 public:
  TDispatcherThread();
  ~TDispatcherThread() override;

 protected:
  std::unique_ptr<TDispatcherQueue> CreateQueue() override;

 private:
  void Execute(TNotifyEventThread* thread);

  TEvent wakeUp_{false, false};
  std::unique_ptr<TNotifyEventThread> thread_;
};

// One subscription: the handler, its owner and the queue its events go to.
class TDispatcherEventSlot {
 public:
  TDispatcherEventSlot();
  virtual ~TDispatcherEventSlot() = default;
  TDispatcherEventSlot(const TDispatcherEventSlot&) = delete;
  TDispatcherEventSlot& operator=(const TDispatcherEventSlot&) = delete;

  // Stamps and queues the event, or runs it at once when the slot has no queue.
  void Dispatch(std::unique_ptr<TDispatcherEvent> event);
  // Removes this slot's events from its queue.
  void Purge();

  void Set(const TMethodData& handler, TRef<IInterface> owner, TDispatcherQueue* queue);
  TMethodData Handler();
  const std::string& Tag() const { return tag_; }

 private:
  TMultiReadExclusiveWriteSynchronizerExtended lock_;
  const std::string tag_;
  TDispatcherQueue* queue_ = nullptr;
  TMethodData handler_;
  TRef<IInterface> owner_;
};

class TDispatcherEventSlotUniversal : public TDispatcherEventSlot {};

// The subscriptions of one notification. Subclasses fix the event type.
class TDispatcherEventSlotList {
 public:
  TDispatcherEventSlotList();
  virtual ~TDispatcherEventSlotList();
  TDispatcherEventSlotList(const TDispatcherEventSlotList&) = delete;
  TDispatcherEventSlotList& operator=(const TDispatcherEventSlotList&) = delete;

  // Subscribing the same handler again updates its slot.
  void Subscribe(const TMethodData& handler, TRef<IInterface> owner, TDispatcherQueue* queue);
  void Clear(bool purge);
  int Count();

 protected:
  // Gives every slot, in order, an event of its own.
  void RaiseEach(const std::function<std::unique_ptr<TDispatcherEvent>()>& make);

 private:
  TMultiReadExclusiveWriteSynchronizerExtended lock_;
  std::vector<std::unique_ptr<TDispatcherEventSlot>> slots_;
};

// A slot list whose events carry a list of arguments, for example (Sender, text).
template <class... Args>
class TDispatcherEventSlotListOf : public TDispatcherEventSlotList {
 public:
  using THandler = TMethod<void(Args...)>;
  using TEventType = TDispatcherEventOf<Args...>;

  void Subscribe(const THandler& handler, TRef<IInterface> owner, TDispatcherQueue* queue) {
    TDispatcherEventSlotList::Subscribe(handler, std::move(owner), queue);
  }
  void Raise(Args... args) {
    RaiseEach([&] { return std::make_unique<TEventType>(args...); });
  }
};

// (Sender) events.
template <class TSender = IInterface>
class TDispatcherEventSlotListInterfaceEventCustom : public TDispatcherEventSlotListOf<TSender*> {};

}  // namespace korvan
