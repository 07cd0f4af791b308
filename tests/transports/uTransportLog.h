#pragma once
// Records a transport's notifications as they are raised, on the raising thread (the slots have no queue).
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "comm/uCI_CommunicationInterface.h"

namespace korvan::test {

class TTransportLog : public TMyInterfacedObject {
 public:
  struct TError {
    std::string operation;
    std::vector<std::string> args;
    int code = 0;
  };

  // Listens to every notification of `transport`.
  void Listen(transport::ICommunicationInterface& transport) {
    TRef<IInterface> self(this);
    transport.GetOpenedSlots()->Subscribe(transport::TCINotifyEvent::Bind<&TTransportLog::OnOpened>(this), self,
                                          nullptr);
    transport.GetClosedSlots()->Subscribe(transport::TCINotifyEvent::Bind<&TTransportLog::OnClosed>(this), self,
                                          nullptr);
    transport.GetDataReadSlots()->Subscribe(transport::TCINotifyStringEvent::Bind<&TTransportLog::OnRead>(this),
                                            self, nullptr);
    transport.GetErrorSlots()->Subscribe(transport::TCINotifyErrorEvent::Bind<&TTransportLog::OnError>(this), self,
                                         nullptr);
  }

  int Opened() const { return opened_.load(); }
  int Closed() const { return closed_.load(); }
  std::vector<std::string> Reads() {
    std::lock_guard<std::mutex> lock(mutex_);
    return reads_;
  }
  std::vector<TError> Errors() {
    std::lock_guard<std::mutex> lock(mutex_);
    return errors_;
  }
  std::vector<std::string> ErrorOperations() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> ops;
    for (const auto& e : errors_) ops.push_back(e.operation);
    return ops;
  }

 private:
  void OnOpened(transport::ICommunicationInterface*) { opened_.fetch_add(1); }
  void OnClosed(transport::ICommunicationInterface*) { closed_.fetch_add(1); }
  void OnRead(transport::ICommunicationInterface*, const std::string& Text) {
    std::lock_guard<std::mutex> lock(mutex_);
    reads_.push_back(Text);
  }
  void OnError(transport::ICommunicationInterface*, const std::string& Operation, const std::vector<std::string>& Args,
               int Code) {
    std::lock_guard<std::mutex> lock(mutex_);
    errors_.push_back({Operation, Args, Code});
  }

  std::atomic<int> opened_{0};
  std::atomic<int> closed_{0};
  std::mutex mutex_;
  std::vector<std::string> reads_;
  std::vector<TError> errors_;
};

}  // namespace korvan::test
