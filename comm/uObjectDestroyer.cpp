#include "comm/uObjectDestroyer.h"

#include <mutex>
#include <thread>
#include <utility>

#include "platform/uThreadName.h"

namespace korvan {

namespace {
std::mutex g_mutex;
// A plain pointer, not destroyed at exit: another thread may still hand an
// object over while static destructors run. FinalizeObjectDestroyer stops it.
TDispatcherThread* g_destroyer = nullptr;
}  // namespace

void TDestroyEvent::Execute() {
  if (destroy_) {
    auto destroy = std::move(destroy_);
    destroy_ = nullptr;
    destroy();
  } else {
    NameThread("Object Destroyer Thread");
  }
}

bool InitializeObjectDestroyer() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_destroyer) return true;
  try {
    g_destroyer = new TDispatcherThread();
  } catch (const std::exception&) {
    return false;  // no thread to be had: DestroyLater tries one per object
  }
  g_destroyer->Queue()->Push(std::make_unique<TDestroyEvent>());
  return true;
}

void FinalizeObjectDestroyer() {
  std::unique_ptr<TDispatcherThread> destroyer;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    destroyer.reset(std::exchange(g_destroyer, nullptr));
  }
  destroyer.reset();
}

void DestroyLater(std::function<void()> destroy) {
  if (!destroy) return;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_destroyer) {
      g_destroyer->Queue()->Push(std::make_unique<TDestroyEvent>(std::move(destroy)));
      return;
    }
  }
  // No destroyer (before start-up or after shut-down): still never on the
  // caller's thread, which may be the very thread the object must stop.
  try {
    std::thread([destroy] {
      try {
        destroy();
      } catch (...) {
        // freeing never ends the program
      }
    }).detach();
  } catch (const std::exception&) {
    // Out of threads: the object is left, rather than freed on a thread it may have to stop.
  }
}

}  // namespace korvan
