#include "comm/uSynchronizer.h"

#include <cstdio>

namespace korvan {

bool TReentrantReadWriteLock::CanWrite(std::thread::id self) const {
  if (writer_ == self) return true;
  if (writer_ != std::thread::id{}) return false;
  return readers_ == 0;
}

bool TReentrantReadWriteLock::BeginWrite() {
  const auto self = std::this_thread::get_id();
  std::unique_lock<std::mutex> lock(mutex_);
  if (writer_ == self) {
    ++writeDepth_;
    return true;
  }
  // Set this thread's own reads aside while waiting, or two upgrading readers
  // would wait for each other forever.
  int ownReads = 0;
  if (auto it = reads_.find(self); it != reads_.end()) {
    ownReads = it->second;
    readers_ -= ownReads;
  }
  const uint64_t generation = writeGeneration_;
  ++waitingWriters_;
  cv_.wait(lock, [&] { return CanWrite(self); });
  --waitingWriters_;
  readers_ += ownReads;
  writer_ = self;
  writeDepth_ = 1;
  ++writeGeneration_;
  return writeGeneration_ == generation + 1;
}

bool TReentrantReadWriteLock::EndWrite() {
  const auto self = std::this_thread::get_id();
  std::lock_guard<std::mutex> lock(mutex_);
  if (writer_ != self || writeDepth_ == 0) return false;
  if (--writeDepth_ == 0) {
    writer_ = std::thread::id{};
    cv_.notify_all();
  }
  return true;
}

void TReentrantReadWriteLock::BeginRead() {
  const auto self = std::this_thread::get_id();
  std::unique_lock<std::mutex> lock(mutex_);
  auto& mine = reads_[self];
  // A thread that already reads (or writes) goes on even when a writer waits;
  // new readers give way to waiting writers so that writers are not starved.
  cv_.wait(lock, [&] {
    if (writer_ == self) return true;
    return writer_ == std::thread::id{} && (mine > 0 || waitingWriters_ == 0);
  });
  ++mine;
  ++readers_;
}

bool TReentrantReadWriteLock::EndRead() {
  const auto self = std::this_thread::get_id();
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = reads_.find(self);
  if (it == reads_.end() || it->second == 0) return false;
  if (--it->second == 0) reads_.erase(it);
  if (--readers_ == 0) cv_.notify_all();
  return true;
}

int TReentrantReadWriteLock::ReadDepthOfThisThread() {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = reads_.find(std::this_thread::get_id());
  return it == reads_.end() ? 0 : it->second;
}

bool TReentrantReadWriteLock::IsWriterThisThread() {
  std::lock_guard<std::mutex> lock(mutex_);
  return writer_ == std::this_thread::get_id();
}

std::string EMultiReadExclusiveWriteSynchronizerExtendedException::MessageFor(const std::string& name, int code) {
  const char* format = nullptr;
  switch (code) {
    case 0: format = "%s is currently locked for reading!"; break;
    case 1: format = "%s is not locked for writing!"; break;
    case 2: format = "%s is not locked for reading!"; break;
  }
  if (!format) return "Unknown error " + std::to_string(code);
  std::string text = format;
  text.replace(text.find("%s"), 2, name);
  return text;
}

EMultiReadExclusiveWriteSynchronizerExtendedException::EMultiReadExclusiveWriteSynchronizerExtendedException(
    const std::string& name, int code)
    : Exception(MessageFor(name, code)), name_(name), code_(code) {}

TMultiReadExclusiveWriteSynchronizerExtended::TMultiReadExclusiveWriteSynchronizerExtended(std::string name)
    : name_(std::move(name)) {}

bool TMultiReadExclusiveWriteSynchronizerExtended::BeginWrite(bool check) {
  const bool uninterrupted = inner_.BeginWrite();
  writeDepth_.fetch_add(1);
  if (check && inner_.ReadDepthOfThisThread() > 0) {
    EndWrite();
    throw EMultiReadExclusiveWriteSynchronizerExtendedException(name_, 0);
  }
  return uninterrupted;
}

void TMultiReadExclusiveWriteSynchronizerExtended::EndWrite() {
  // Only the writer may end a write; a stray call must not release another
  // thread's lock.
  if (!inner_.IsWriterThisThread()) throw EMultiReadExclusiveWriteSynchronizerExtendedException(name_, 1);
  writeDepth_.fetch_sub(1);
  inner_.EndWrite();
}

void TMultiReadExclusiveWriteSynchronizerExtended::BeginRead() {
  inner_.BeginRead();
  readCount_.fetch_add(1);
}

void TMultiReadExclusiveWriteSynchronizerExtended::EndRead() {
  if (inner_.ReadDepthOfThisThread() == 0) throw EMultiReadExclusiveWriteSynchronizerExtendedException(name_, 2);
  readCount_.fetch_sub(1);
  inner_.EndRead();
}

}  // namespace korvan
