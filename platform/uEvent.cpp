#include "platform/uEvent.h"

#include <chrono>

namespace korvan {

TEvent::TEvent(bool manualReset, bool initialState) : manualReset_(manualReset), signalled_(initialState) {}

void TEvent::SetEvent() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = true;
  }
  if (manualReset_)
    cv_.notify_all();
  else
    cv_.notify_one();
}

void TEvent::ResetEvent() {
  std::lock_guard<std::mutex> lock(mutex_);
  signalled_ = false;
}

bool TEvent::WaitFor(uint32_t milliseconds) {
  std::unique_lock<std::mutex> lock(mutex_);
  const auto ready = [this] { return signalled_; };
  if (milliseconds == INFINITE) {
    cv_.wait(lock, ready);
  } else if (!cv_.wait_for(lock, std::chrono::milliseconds(milliseconds), ready)) {
    return false;
  }
  if (!manualReset_) signalled_ = false;
  return true;
}

}  // namespace korvan
