#include "comm/uThreadRunner.h"

#include "comm/uException.h"

namespace korvan {

TThreadRunner::TThreadRunner(TRunMethod method) : method_(method) { started_.SetEvent(); }

TThreadRunner::~TThreadRunner() {
  Terminate();
  // Its work would go on in freed memory.
  if (thread_.get_id() == std::this_thread::get_id()) ContractBreach("TThreadRunner destroyed by its own thread");
  if (thread_.joinable()) thread_.join();
}

void TThreadRunner::Start() {
  if (startedThread_) return;
  startedThread_ = true;
  thread_ = std::thread([this] { Body(); });
}

void TThreadRunner::WaitFor() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void TThreadRunner::Body() {
  try {
    if (method_.Assigned()) method_(this);
  } catch (...) {
    // the work's failure never ends the program
  }
}

}  // namespace korvan
