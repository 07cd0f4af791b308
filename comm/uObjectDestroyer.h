#pragma once
// The process-wide destroyer thread that frees objects later, in the order handed over.
#include <functional>
#include <memory>

#include "comm/uDispatcher.h"

namespace korvan {

// Frees one object on the destroyer's thread; an event without object
// names that thread instead.
class TDestroyEvent : public TDispatcherEvent {
 public:
  explicit TDestroyEvent(std::function<void()> destroy = {}) : destroy_(std::move(destroy)) {}
  void Execute() override;

 private:
  std::function<void()> destroy_;
};

// Starts the process-wide destroyer thread; later calls do nothing.
bool InitializeObjectDestroyer();
// Stops it; objects still queued are dropped with their events, not freed.
void FinalizeObjectDestroyer();

// Queues the object to be freed later on the destroyer's thread, in the
// order handed over. Null does nothing. Without a running destroyer the
// object is freed on a short-lived thread of its own.
void DestroyLater(std::function<void()> destroy);

template <class T>
void DestroyLater(std::unique_ptr<T> object) {
  if (!object) return;
  DestroyLater([p = object.release()] { delete p; });
}

}  // namespace korvan
