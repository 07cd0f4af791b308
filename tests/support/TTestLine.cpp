#include "support/TTestLine.h"

#include <gtest/gtest.h>

#include <chrono>

#include "support/THex.h"

namespace korvan::test {

TTestLine::TTestLine() { thread_ = std::thread([this] { Run(); }); }

TTestLine::TTestLine(const std::string& connectionString) : TCommunicationInterfaceDataSpy(connectionString) {
  thread_ = std::thread([this] { Run(); });
}

TTestLine::TTestLine(pugi::xml_node xmlNode, IInterface* parent) : TCommunicationInterfaceDataSpy(xmlNode, parent) {
  thread_ = std::thread([this] { Run(); });
}

TTestLine::~TTestLine() { Stop(); }

void TTestLine::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  cv_.notify_all();
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void TTestLine::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    cv_.wait(lock, [&] { return stop_ || !arriving_.empty(); });
    if (stop_) return;
    busy_ = true;
    input_ += arriving_.front();
    arriving_.pop_front();
    lock.unlock();
    DoDataRcv();
    lock.lock();
    busy_ = false;
    cv_.notify_all();
  }
}

void TTestLine::Receive(const std::string& data) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    arriving_.push_back(data);
  }
  cv_.notify_all();
}

void TTestLine::Arrive(const std::string& data) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    arrived_ += data;
    arriving_.emplace_back();  // the announcement only
  }
  cv_.notify_all();
}

void TTestLine::SetPeer(TPeer peer) {
  std::lock_guard<std::mutex> lock(mutex_);
  peer_ = std::move(peer);
}

std::vector<std::string> TTestLine::Written() {
  std::lock_guard<std::mutex> lock(mutex_);
  return written_;
}

std::string TTestLine::WrittenBytes() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string all;
  for (const auto& w : written_) all += w;
  return all;
}

void TTestLine::ClearWritten() {
  std::lock_guard<std::mutex> lock(mutex_);
  written_.clear();
}

void TTestLine::SetOpenResult(bool result) {
  std::lock_guard<std::mutex> lock(mutex_);
  openResult_ = result;
}

void TTestLine::SetCloseResult(bool result) {
  std::lock_guard<std::mutex> lock(mutex_);
  closeResult_ = result;
}

void TTestLine::HangUp() {
  std::lock_guard<std::mutex> lock(mutex_);
  active_ = false;
}

void TTestLine::SetConfigurationResult(bool result) {
  std::lock_guard<std::mutex> lock(mutex_);
  configurationResult_ = result;
}

bool TTestLine::WaitIdle(int milliseconds) {
  std::unique_lock<std::mutex> lock(mutex_);
  return cv_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                      [&] { return arriving_.empty() && !busy_; });
}

int TTestLine::InternalCloseCalls() {
  std::lock_guard<std::mutex> lock(mutex_);
  return closeCalls_;
}

int TTestLine::InternalSetConfigurationCalls() {
  std::lock_guard<std::mutex> lock(mutex_);
  return configurationCalls_;
}

bool TTestLine::GetActive() {
  std::lock_guard<std::mutex> lock(mutex_);
  return active_;
}

int TTestLine::InputCount() {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(input_.size() + arrived_.size());
}

void TTestLine::ClearInput() {
  std::lock_guard<std::mutex> lock(mutex_);
  input_.clear();
  arrived_.clear();
}

std::string TTestLine::GetConfiguration() {
  std::lock_guard<std::mutex> lock(mutex_);
  return configuration_;
}

bool TTestLine::InternalOpen() {
  std::lock_guard<std::mutex> lock(mutex_);
  active_ = openResult_;
  return openResult_;
}

bool TTestLine::InternalClose(bool) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++closeCalls_;
  if (!closeResult_) return false;
  active_ = false;
  return true;
}

int TTestLine::InternalWrite(const std::string& Data) {
  TPeer peer;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!active_) return 0;
    written_.push_back(Data);
    peer = peer_;
  }
  // Handed over at once, and the answer readable at once, as on a real line:
  // the line's thread may be blocked announcing earlier bytes to a stack that
  // is in this very transaction.
  std::string answer;
  try {
    if (peer) answer = peer(Data);
  } catch (...) {
    // a failing peer answers nothing
  }
  if (!answer.empty()) Arrive(answer);
  return static_cast<int>(Data.size());
}

void TTestLine::InternalRead(std::string& Data) {
  std::lock_guard<std::mutex> lock(mutex_);
  Data = std::move(input_) + arrived_;
  input_.clear();
  arrived_.clear();
}

bool TTestLine::InternalSetConfiguration(const std::string& S) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++configurationCalls_;
  if (!configurationResult_) return false;
  configuration_ = S;
  return true;
}

}  // namespace korvan::test
