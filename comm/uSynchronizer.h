#pragma once
// The read/write locks of nodes and communication objects, and their scoped guards.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

#include "comm/uException.h"

namespace korvan {

// Many readers or one writer. The writer re-enters and may also read; a
// reader may re-enter while a writer waits. A thread that holds read locks
// and asks for the write lock sets its reads aside while it waits, so two
// such threads cannot deadlock; BeginWrite then answers false because
// another writer may have intervened.
class TReentrantReadWriteLock {
 public:
  bool BeginWrite();
  // False when the calling thread does not hold the write lock.
  bool EndWrite();
  void BeginRead();
  // False when the calling thread holds no read lock.
  bool EndRead();

  // Read locks that the calling thread holds.
  int ReadDepthOfThisThread();
  bool IsWriterThisThread();

 private:
  bool CanWrite(std::thread::id self) const;

  std::mutex mutex_;
  std::condition_variable cv_;
  std::thread::id writer_{};
  int writeDepth_ = 0;
  int waitingWriters_ = 0;
  int readers_ = 0;  // read locks of all threads
  uint64_t writeGeneration_ = 0;
  std::unordered_map<std::thread::id, int> reads_;
};

class EMultiReadExclusiveWriteSynchronizerExtendedException : public Exception {
 public:
  EMultiReadExclusiveWriteSynchronizerExtendedException(const std::string& name, int code);
  const std::string& Name() const { return name_; }
  int Code() const { return code_; }

  static std::string MessageFor(const std::string& name, int code);

 private:
  std::string name_;
  int code_;
};

// The named read/write lock of every node and communication object; misuse
// raises EMultiReadExclusiveWriteSynchronizerExtendedException.
class TMultiReadExclusiveWriteSynchronizerExtended {
 public:
  explicit TMultiReadExclusiveWriteSynchronizerExtended(std::string name);
  TMultiReadExclusiveWriteSynchronizerExtended(const TMultiReadExclusiveWriteSynchronizerExtended&) = delete;
  TMultiReadExclusiveWriteSynchronizerExtended& operator=(const TMultiReadExclusiveWriteSynchronizerExtended&) = delete;

  // True when no other writer intervened while waiting.
  bool BeginWrite(bool check = true);
  void EndWrite();
  void BeginRead();
  void EndRead();

  const std::string& Name() const { return name_; }
  // Only while no other thread can use the lock yet (construction).
  void SetName(std::string name) { name_ = std::move(name); }
  int ReadCount() const { return readCount_.load(); }
  // The calling thread holds the write lock.
  bool HeldByThisThread() { return inner_.IsWriterThisThread(); }
  int WriteDepth() const { return writeDepth_.load(); }

 private:
  TReentrantReadWriteLock inner_;
  std::atomic<int> readCount_{0};
  std::atomic<int> writeDepth_{0};
  std::string name_;
};

// Scoped brackets for a synchronizer or any object with BeginWrite/EndWrite
// (BeginRead/EndRead).
template <class T>
class TWriteLock {
 public:
  explicit TWriteLock(T& lock) : lock_(lock) { lock_.BeginWrite(); }
  ~TWriteLock() noexcept(false) { lock_.EndWrite(); }
  TWriteLock(const TWriteLock&) = delete;
  TWriteLock& operator=(const TWriteLock&) = delete;

 private:
  T& lock_;
};

template <class T>
class TReadLock {
 public:
  explicit TReadLock(T& lock) : lock_(lock) { lock_.BeginRead(); }
  ~TReadLock() noexcept(false) { lock_.EndRead(); }
  TReadLock(const TReadLock&) = delete;
  TReadLock& operator=(const TReadLock&) = delete;

 private:
  T& lock_;
};

// A field read or written under its mutex, for the many one-line accessors.
template <class M, class T>
T LockedRead(M& mutex, const T& field) {
  std::lock_guard<M> lock(mutex);
  return field;
}
template <class M, class T, class V>
void LockedWrite(M& mutex, T& field, V&& value) {
  std::lock_guard<M> lock(mutex);
  field = std::forward<V>(value);
}

}  // namespace korvan
