#include "app/uModuleWorker.h"

#include "app/uGuard.h"
#include "platform/uThreadName.h"

namespace duomat {

TModuleWorker::TModuleWorker(QObject* receiver, std::function<void(const std::string&)> failed)
    : receiver_(receiver), failed_(std::move(failed)), thread_([this] { Loop(); }) {}

TModuleWorker::~TModuleWorker() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    jobs_.clear();
  }
  cancelled_ = true;
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void TModuleWorker::Post(std::function<void()> job) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) return;
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
}

void TModuleWorker::Loop() {
  korvan::NameThread("Dialog requests");
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (stopping_) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    try {
      job();
    } catch (...) {
      // The dialog shows it; the thread takes the next job.
      const std::string text = EscapedExceptionText();
      QMetaObject::invokeMethod(receiver_, [failed = failed_, text] {
        if (failed) failed(text);
      }, Qt::QueuedConnection);
    }
  }
}

}  // namespace duomat
