#pragma once
// A handler that can be replaced or cleared safely while other threads are calling it.
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace korvan {

// A handler (a TMethod) that knows its calls in progress. Replacing or
// clearing it waits until no other thread is still inside the old one, so
// that whoever clears it may free the handler's object right afterwards. A
// call on the replacing thread itself is not waited for: it is the caller.
template <class THandler>
class TGuardedHandler {
 public:
  THandler Get() {
    std::lock_guard<std::mutex> lock(mutex_);
    return handler_;
  }

  // Must not be called while holding anything the running handler waits for.
  void Set(const THandler& handler) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (handler_ == handler) return;
    handler_ = handler;
    const std::thread::id self = std::this_thread::get_id();
    cv_.wait(lock, [&] { return std::all_of(running_.begin(), running_.end(), [&](auto id) { return id == self; }); });
  }

  // Calls the handler when one is assigned; false when none is.
  template <class... A>
  bool Call(A&&... args) {
    THandler handler;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!handler_.Assigned()) return false;
      handler = handler_;
      running_.push_back(std::this_thread::get_id());
    }
    struct TLeave {
      TGuardedHandler* owner;
      ~TLeave() {
        std::lock_guard<std::mutex> lock(owner->mutex_);
        auto& running = owner->running_;
        running.erase(std::find(running.begin(), running.end(), std::this_thread::get_id()));
        owner->cv_.notify_all();
      }
    } leave{this};
    handler(std::forward<A>(args)...);
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  THandler handler_;
  std::vector<std::thread::id> running_;
};

}  // namespace korvan
