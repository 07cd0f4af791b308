#pragma once
// A thread-safe multicast list of handlers, called in the notifying thread.
#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "comm/uMethod.h"
#include "platform/uTickCount.h"

namespace korvan {

template <class Signature>
class TEventer;

// A thread-safe multicast list of handlers, called in registration order in
// the notifying thread. A handler is never run by two threads at once, and
// handlers may be added or removed while a notification walks the list.
template <class... A>
class TEventer<void(A...)> {
 public:
  using THandler = TMethod<void(A...)>;

  TEventer() = default;
  virtual ~TEventer() {
    destroying_.store(true);
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.clear();
  }
  TEventer(const TEventer&) = delete;
  TEventer& operator=(const TEventer&) = delete;

  void Add(const THandler& handler) {
    if (destroying_.load()) return;
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& e : entries_) {
      if (!(e.handler == handler)) continue;
      if (e.assigned) return;
      // Removed during a notification and not yet compacted: forget it.
      e.handler = THandler();
    }
    entries_.push_back(Entry{true, handler, false, {}});
  }

  void Remove(const THandler& handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (size_t k = entries_.size(); k-- > 0;) {
      Entry& e = entries_[k];
      if (!(e.handler == handler)) continue;
      e.assigned = false;
      if (firingDepth_ == 0)
        entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(k));
      break;
    }
  }

  int Count() {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (auto& e : entries_) n += e.assigned ? 1 : 0;
    return n;
  }

  void Notify(A... args) {
    if (destroying_.load()) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++firingDepth_;
    }
    struct DepthGuard {
      TEventer* self;
      ~DepthGuard() {
        std::lock_guard<std::mutex> lock(self->mutex_);
        --self->firingDepth_;
      }
    } depthGuard{this};

    const auto self = std::this_thread::get_id();
    for (size_t i = 0;; ++i) {
      THandler handler;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
          // Only a lone notification may move entries: another one in
          // progress holds indexes into the array.
          const bool alone = firingDepth_ == 1;
          size_t j = i;
          while (j < entries_.size() && !entries_[j].assigned && !entries_[j].busy) ++j;
          if (j >= entries_.size()) {
            if (alone) entries_.resize(std::min(i, entries_.size()));
            return;
          }
          if (j != i) {
            if (alone) {
              entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i),
                             entries_.begin() + static_cast<std::ptrdiff_t>(j));
            } else {
              i = j;
            }
          }
          Entry& e = entries_[i];
          if (!e.busy) break;
          if (e.busyThread == self) {
            // This thread is inside that handler already: a nested
            // notification skips it instead of waiting for itself.
            ++i;
            continue;
          }
          lock.unlock();
          SleepMs(10);
          lock.lock();
        }
        Entry& e = entries_[i];
        e.busy = true;
        e.busyThread = self;
        handler = e.handler;
      }
      struct BusyGuard {
        TEventer* owner;
        size_t index;
        ~BusyGuard() {
          std::lock_guard<std::mutex> lock(owner->mutex_);
          if (index < owner->entries_.size()) {
            Entry& e = owner->entries_[index];
            e.busy = false;
            e.busyThread = {};
            if (!e.assigned) e.handler = THandler();
          }
        }
      } busyGuard{this, i};
      if (handler.Assigned()) Invoke(handler, args...);
    }
  }

 protected:
  // Calls one handler with the notification's arguments.
  virtual void Invoke(const THandler& handler, A... args) { handler(args...); }

 private:
  struct Entry {
    bool assigned;
    THandler handler;
    bool busy;
    std::thread::id busyThread;
  };

  std::mutex mutex_;
  std::vector<Entry> entries_;
  int firingDepth_ = 0;
  std::atomic<bool> destroying_{false};
};

}  // namespace korvan
