#pragma once
// A dialog's own thread for module requests: they run in order there, their answers come back on the dialog's thread.
#include <QMetaObject>
#include <QObject>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "core/uProgress.h"

namespace duomat {

// Owned by the dialog that receives the answers, and destroyed before it:
// destruction cancels, waits for the request in progress and drops the jobs
// not yet begun, so no thread outlives its dialog. A job's answer that is
// still queued when the dialog goes is dropped by Qt with its receiver.
class TModuleWorker {
 public:
  // `failed` gets the text of an exception a job threw, on the receiver's thread.
  TModuleWorker(QObject* receiver, std::function<void(const std::string&)> failed);
  ~TModuleWorker();
  TModuleWorker(const TModuleWorker&) = delete;
  TModuleWorker& operator=(const TModuleWorker&) = delete;

  // `job` runs on the worker's thread, `done` with its result on the receiver's.
  template <class TJob, class TDone>
  void Run(TJob job, TDone done) {
    Post([this, job = std::move(job), done = std::move(done)]() mutable {
      auto result = job();
      QMetaObject::invokeMethod(receiver_, [done = std::move(done), result = std::move(result)]() mutable {
        done(std::move(result));
      }, Qt::QueuedConnection);
    });
  }

  // What a long job asks between its requests; set once the dialog closes.
  TCancel Cancel() const {
    return {[this] { return cancelled_.load(); }};
  }
  void RequestCancel() { cancelled_ = true; }

 private:
  void Post(std::function<void()> job);
  void Loop();

  QObject* receiver_;
  std::function<void(const std::string&)> failed_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  bool stopping_ = false;
  std::atomic<bool> cancelled_{false};
  std::thread thread_;
};

}  // namespace duomat
