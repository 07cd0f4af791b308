#include "comm/uSynchronizer.h"

#include <cstdio>

namespace korvan {

namespace {
// This thread's read depth per lock: a small fixed table, so that the common
// outermost read allocates nothing. Only the owning thread touches it; a
// thread that reads more locks at once than it holds keeps the rest in the
// lock's own map. A thread's reads of one lock are in one place or the other.
struct TReadEntry {
  const void* lock;
  int depth;
};
constexpr int ReadTableSize = 8;
thread_local TReadEntry t_reads[ReadTableSize] = {};

TReadEntry* FindRead(const void* lock) {
  for (TReadEntry& e : t_reads)
    if (e.lock == lock) return &e;
  return nullptr;
}

int OwnReads(const void* lock, const std::unordered_map<std::thread::id, int>& overflow, std::thread::id self) {
  if (const TReadEntry* e = FindRead(lock)) return e->depth;
  const auto it = overflow.find(self);
  return it == overflow.end() ? 0 : it->second;
}
}  // namespace

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
  const int ownReads = OwnReads(this, reads_, self);
  readers_ -= ownReads;
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
  TReadEntry* entry = FindRead(this);
  std::unique_lock<std::mutex> lock(mutex_);
  const int mine = entry ? entry->depth : OwnReads(this, reads_, self);
  // A thread that already reads (or writes) goes on even when a writer waits;
  // new readers give way to waiting writers so that writers are not starved.
  if (writer_ != self && !(writer_ == std::thread::id{} && (mine > 0 || waitingWriters_ == 0))) {
    cv_.wait(lock, [&] {
      if (writer_ == self) return true;
      return writer_ == std::thread::id{} && (mine > 0 || waitingWriters_ == 0);
    });
  }
  ++readers_;
  if (entry) {
    ++entry->depth;
  } else if (mine > 0) {
    ++reads_[self];
  } else if ((entry = FindRead(nullptr))) {
    *entry = {this, 1};
  } else {
    ++reads_[self];  // the table is full: the rare case may allocate
  }
}

bool TReentrantReadWriteLock::EndRead() {
  const auto self = std::this_thread::get_id();
  TReadEntry* entry = FindRead(this);
  std::lock_guard<std::mutex> lock(mutex_);
  if (entry) {
    if (--entry->depth == 0) *entry = {nullptr, 0};
  } else {
    auto it = reads_.find(self);
    if (it == reads_.end() || it->second == 0) return false;
    if (--it->second == 0) reads_.erase(it);
  }
  if (--readers_ == 0) cv_.notify_all();
  return true;
}

int TReentrantReadWriteLock::ReadDepthOfThisThread() {
  std::lock_guard<std::mutex> lock(mutex_);
  return OwnReads(this, reads_, std::this_thread::get_id());
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
  // One look at the inner lock: it answers false when this thread reads none.
  if (!inner_.EndRead()) throw EMultiReadExclusiveWriteSynchronizerExtendedException(name_, 2);
  readCount_.fetch_sub(1);
}

}  // namespace korvan
