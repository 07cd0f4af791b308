#include "comm/uDispatcher.h"

#include <algorithm>

#include "comm/uException.h"
#include "platform/uGuid.h"

namespace korvan {

TDispatcherQueue::TDispatcherQueue() : lock_(ClassNameOf(typeid(TDispatcherQueue))) {}

TDispatcherQueue::~TDispatcherQueue() { Clear(); }

void TDispatcherQueue::Push(std::unique_ptr<TDispatcherEvent> event) {
  if (!event) return;
  TWriteLock guard(lock_);
  queue_.Push(event.release());
}

std::unique_ptr<TDispatcherEvent> TDispatcherQueue::Pop() {
  TWriteLock guard(lock_);
  if (queue_.Count() == 0) return nullptr;
  return std::unique_ptr<TDispatcherEvent>(queue_.Pop());
}

int TDispatcherQueue::Count() {
  TReadLock guard(lock_);
  return queue_.Count();
}

void TDispatcherQueue::Clear() {
  TWriteLock guard(lock_);
  while (queue_.Count() > 0) delete queue_.Pop();
  queue_.Clear();
}

void TDispatcherQueue::RemoveTagged(const std::string& tag) {
  TWriteLock guard(lock_);
  TQueue<TDispatcherEvent*> kept;
  while (queue_.Count() > 0) {
    TDispatcherEvent* event = queue_.Pop();
    if (event->Tag == tag)
      delete event;
    else
      kept.Push(event);
  }
  queue_ = std::move(kept);
}

void TDispatcherThreadQueue::Push(std::unique_ptr<TDispatcherEvent> event) {
  TDispatcherQueue::Push(std::move(event));
  wakeUp_.SetEvent();
}

TDispatcherQueue* TDispatcher::Queue() {
  std::call_once(queueOnce_, [this] { queue_ = CreateQueue(); });
  return queue_.get();
}

std::unique_ptr<TDispatcherQueue> TDispatcher::CreateQueue() { return std::make_unique<TDispatcherQueue>(); }

void TDispatcher::FreeQueue() { queue_.reset(); }

bool TDispatcher::ProcessOne() {
  std::unique_ptr<TDispatcherEvent> event = Queue()->Pop();
  if (!event) return false;
  try {
    event->Execute();
  } catch (...) {
    try {
      HandleException(std::current_exception());
    } catch (...) {
    }
  }
  return true;
}

TNotifyEventThread::~TNotifyEventThread() {
  Terminate();
  if (IsCurrentThread()) ContractBreach("TNotifyEventThread destroyed by its own thread");
  if (thread_.joinable()) thread_.join();
}

void TNotifyEventThread::Start() {
  if (!thread_.joinable()) thread_ = std::thread([this] { Body(); });
}

void TNotifyEventThread::WaitFor() {
  if (thread_.joinable() && !IsCurrentThread()) thread_.join();
}

void TNotifyEventThread::Body() {
  try {
    if (method_.Assigned()) method_(this);
  } catch (...) {
    // a thread body never ends the program
  }
}

TDispatcherThread::TDispatcherThread() {
  Queue();
  thread_ = std::make_unique<TNotifyEventThread>(
      TNotifyEventThread::TMethodType::Bind<&TDispatcherThread::Execute>(this));
  thread_->Start();
}

TDispatcherThread::~TDispatcherThread() {
  // Its worker would go on in freed memory; hand it to the object destroyer instead.
  if (thread_->IsCurrentThread()) ContractBreach("TDispatcherThread destroyed by its own worker thread");
  thread_->Terminate();
  wakeUp_.SetEvent();
  thread_->WaitFor();
  thread_.reset();
  FreeQueue();
}

std::unique_ptr<TDispatcherQueue> TDispatcherThread::CreateQueue() {
  return std::make_unique<TDispatcherThreadQueue>(wakeUp_);
}

void TDispatcherThread::Execute(TNotifyEventThread* thread) {
  // Everything queued runs as soon as it comes; an idle worker sleeps until
  // a push or its stop (the event stays set for a push it has not seen).
  while (!thread->Terminated()) {
    try {
      while (!thread->Terminated() && ProcessOne()) {
      }
    } catch (...) {
    }
    if (!thread->Terminated()) wakeUp_.WaitFor(INFINITE);
  }
}

TDispatcherEventSlot::TDispatcherEventSlot()
    : lock_(ClassNameOf(typeid(TDispatcherEventSlotUniversal))), tag_(NewGuidText()) {}

void TDispatcherEventSlot::Set(const TMethodData& handler, TRef<IInterface> owner, TDispatcherQueue* queue) {
  TWriteLock guard(lock_);
  handler_ = handler;
  owner_ = std::move(owner);
  queue_ = queue;
}

TMethodData TDispatcherEventSlot::Handler() {
  TReadLock guard(lock_);
  return handler_;
}

void TDispatcherEventSlot::Dispatch(std::unique_ptr<TDispatcherEvent> event) {
  TDispatcherQueue* queue = nullptr;
  {
    TReadLock guard(lock_);
    event->Tag = tag_;
    event->Handler = handler_;
    event->Owner = owner_;
    queue = queue_;
    if (queue) {
      queue->Push(std::move(event));
      return;
    }
  }
  event->Execute();
}

void TDispatcherEventSlot::Purge() {
  TReadLock guard(lock_);
  if (queue_) queue_->RemoveTagged(tag_);
}

TDispatcherEventSlotList::TDispatcherEventSlotList() : lock_("TDispatcherEventSlotList") {}

TDispatcherEventSlotList::~TDispatcherEventSlotList() {
  try {
    Clear(true);
  } catch (...) {
  }
}

void TDispatcherEventSlotList::Subscribe(const TMethodData& handler, TRef<IInterface> owner,
                                         TDispatcherQueue* queue) {
  TWriteLock guard(lock_);
  TDispatcherEventSlot* slot = nullptr;
  for (auto it = slots_.rbegin(); it != slots_.rend(); ++it) {
    if ((*it)->Handler() == handler) {
      slot = it->get();
      break;
    }
  }
  if (!slot) {
    slots_.push_back(std::make_unique<TDispatcherEventSlotUniversal>());
    slot = slots_.back().get();
  }
  slot->Set(handler, std::move(owner), queue);
}

void TDispatcherEventSlotList::Clear(bool purge) {
  TWriteLock guard(lock_);
  for (auto& slot : slots_)
    if (purge) slot->Purge();
  slots_.clear();
}

int TDispatcherEventSlotList::Count() {
  TReadLock guard(lock_);
  return static_cast<int>(slots_.size());
}

void TDispatcherEventSlotList::RaiseEach(const std::function<std::unique_ptr<TDispatcherEvent>()>& make) {
  TReadLock guard(lock_);
  for (auto& slot : slots_) slot->Dispatch(make());
}

}  // namespace korvan
