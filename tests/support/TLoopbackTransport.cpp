#include "support/TLoopbackTransport.h"

#include <algorithm>
#include <chrono>

#include "comm/uCI_ProviderRegistry.h"
#include "comm/uCI_Wrapper.h"
#include "comm/uci_ConnectionString.h"
#include "platform/uThreadName.h"

namespace korvan::test {

TLoopbackTransport::TLoopbackTransport(std::string provider) : provider_(std::move(provider)) {
  thread_ = std::thread([this] { Run(); });
}

TLoopbackTransport::~TLoopbackTransport() {
  Stop();
}

void TLoopbackTransport::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  cv_.notify_all();
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void TLoopbackTransport::Run() {
  NameThread("Loopback Rx");
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    cv_.wait(lock, [&] { return stop_ || !pending_.empty(); });
    if (stop_) return;
    TItem item = std::move(pending_.front());
    pending_.pop_front();
    busy_ = true;
    TPeer peer = peer_;
    lock.unlock();
    std::string received = item.data;
    if (item.fromPeer) received = peer ? peer(item.data) : std::string();
    // The base reports a throwing handler itself; nothing may end this thread.
    try {
      if (!received.empty()) DoReadString(received);
    } catch (...) {
    }
    lock.lock();
    busy_ = false;
    cv_.notify_all();
  }
}

void TLoopbackTransport::SetPeer(TPeer peer) {
  std::lock_guard<std::mutex> lock(mutex_);
  peer_ = std::move(peer);
}

void TLoopbackTransport::Receive(const std::string& bytes) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.push_back({false, bytes});
  }
  cv_.notify_all();
}

bool TLoopbackTransport::WaitIdle(int milliseconds) {
  std::unique_lock<std::mutex> lock(mutex_);
  return cv_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                      [&] { return pending_.empty() && !busy_; });
}

std::vector<std::string> TLoopbackTransport::Written() {
  std::lock_guard<std::mutex> lock(mutex_);
  return written_;
}

std::vector<std::string> TLoopbackTransport::AppliedConfigurations() {
  std::lock_guard<std::mutex> lock(mutex_);
  return configurations_;
}

int TLoopbackTransport::InternalOpenCalls() {
  std::lock_guard<std::mutex> lock(mutex_);
  return openCalls_;
}

int TLoopbackTransport::InternalCloseCalls() {
  std::lock_guard<std::mutex> lock(mutex_);
  return closeCalls_;
}

bool TLoopbackTransport::LastCloseForced() {
  std::lock_guard<std::mutex> lock(mutex_);
  return lastCloseForced_;
}

int TLoopbackTransport::ClearOutputCalls() {
  std::lock_guard<std::mutex> lock(mutex_);
  return clearOutputCalls_;
}

void TLoopbackTransport::SetOpenResult(bool result) {
  std::lock_guard<std::mutex> lock(mutex_);
  openResult_ = result;
}

void TLoopbackTransport::SetCloseResult(bool result) {
  std::lock_guard<std::mutex> lock(mutex_);
  closeResult_ = result;
}

void TLoopbackTransport::SetConfigurationResult(bool result) {
  std::lock_guard<std::mutex> lock(mutex_);
  configurationResult_ = result;
}

bool TLoopbackTransport::GetActive() {
  std::lock_guard<std::mutex> lock(mutex_);
  return active_;
}

std::string TLoopbackTransport::GetConfiguration() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!configurations_.empty()) return configurations_.back();
  }
  return TCommunicationInternalBufferInterface::GetConfiguration();
}

void TLoopbackTransport::ClearOutput() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++clearOutputCalls_;
}

bool TLoopbackTransport::InternalOpen() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++openCalls_;
  if (openResult_) active_ = true;
  return openResult_;
}

bool TLoopbackTransport::InternalClose(bool Force) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++closeCalls_;
  lastCloseForced_ = Force;
  if (!closeResult_) return false;
  active_ = false;
  return true;
}

int TLoopbackTransport::InternalWriteString(const std::string& S) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    written_.push_back(S);
    if (peer_) pending_.push_back({true, S});
  }
  cv_.notify_all();
  return static_cast<int>(S.size());
}

bool TLoopbackTransport::InternalSetConfiguration(const std::string& S) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!configurationResult_) return false;
  configurations_.push_back(S);
  return true;
}

TLoopbackProviders::TLoopbackProviders(std::vector<std::string> providers) {
  state_->providers = std::move(providers);
  std::weak_ptr<TState> weak = state_;
  for (const std::string& name : state_->providers)
    ci::RegisterTransport(name, [weak, name]() -> TRef<transport::ICommunicationInterface> {
      std::shared_ptr<TState> state = weak.lock();
      if (!state) return nullptr;
      std::lock_guard<std::mutex> lock(state->mutex);
      TRef<TLoopbackTransport> transport = CreateObject<TLoopbackTransport>(name);
      if (state->peer) transport->SetPeer(state->peer);
      state->created.push_back(transport);
      return transport;
    });
  for (const std::string& name : state_->providers)
    RegisterProvider(&ci::TCommunicationWrapperInterface::Class, name);
}

TLoopbackProviders::~TLoopbackProviders() {
  for (const std::string& name : state_->providers) {
    ci::UnregisterTransport(name);
    UnregisterProvider(name);
  }
}

std::vector<TRef<TLoopbackTransport>> TLoopbackProviders::Created() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->created;
}

TRef<TLoopbackTransport> TLoopbackProviders::Last() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->created.empty() ? nullptr : state_->created.back();
}

void TLoopbackProviders::SetPeer(TLoopbackTransport::TPeer peer) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->peer = std::move(peer);
}

}  // namespace korvan::test
