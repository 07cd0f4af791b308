#include "comm/uSynchronizer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include "support/TWait.h"

using korvan::test::WaitUntil;
using korvan::test::IsBlocked;
using korvan::test::TBoundedThreads;

using namespace korvan;
using namespace std::chrono_literals;
using ELock = EMultiReadExclusiveWriteSynchronizerExtendedException;

namespace {

template <class F>
ELock LockErrorOf(F f) {
  try {
    f();
  } catch (const ELock& e) {
    return e;
  }
  return ELock("(no error)", -1);
}

}  // namespace

TEST(TMultiReadExclusiveWriteSynchronizerExtended, MisuseRaisesItsCodeWithTheNameFirst) {
  TMultiReadExclusiveWriteSynchronizerExtended lock("TDispatcherQueue");

  const ELock endRead = LockErrorOf([&] { lock.EndRead(); });
  EXPECT_EQ(endRead.Code(), 2);
  EXPECT_STREQ(endRead.what(), "TDispatcherQueue is not locked for reading!");
  EXPECT_EQ(endRead.Name(), "TDispatcherQueue");
  EXPECT_EQ(endRead.ClassName(), "EMultiReadExclusiveWriteSynchronizerExtendedException");

  const ELock endWrite = LockErrorOf([&] { lock.EndWrite(); });
  EXPECT_EQ(endWrite.Code(), 1);
  EXPECT_STREQ(endWrite.what(), "TDispatcherQueue is not locked for writing!");

  // Misuse leaves the counters as they were.
  EXPECT_EQ(lock.ReadCount(), 0);
  EXPECT_EQ(lock.WriteDepth(), 0);
}

TEST(TMultiReadExclusiveWriteSynchronizerExtended, MessagesTakeTheNameLiterallyAndNameUnknownCodes) {
  // A name is text, not a format.
  TMultiReadExclusiveWriteSynchronizerExtended lock("50% %s %d");
  EXPECT_STREQ(LockErrorOf([&] { lock.EndRead(); }).what(), "50% %s %d is not locked for reading!");
  EXPECT_EQ(ELock::MessageFor("x", 3), "Unknown error 3");
  EXPECT_EQ(ELock::MessageFor("x", -1), "Unknown error -1");
}

TEST(TMultiReadExclusiveWriteSynchronizerExtended, EndReadOfAnotherThreadsReadIsMisuse) {
  TMultiReadExclusiveWriteSynchronizerExtended lock("Shared");
  lock.BeginRead();
  TBoundedThreads threads;
  int code = -1;
  threads.Start([&] { code = LockErrorOf([&] { lock.EndRead(); }).Code(); });
  threads.JoinAll();
  EXPECT_EQ(code, 2);
  EXPECT_EQ(lock.ReadCount(), 1);
  lock.EndRead();
}

TEST(TMultiReadExclusiveWriteSynchronizerExtended, AReaderTakingTheWriteLockGetsCodeZeroWithoutDeadlock) {
  TMultiReadExclusiveWriteSynchronizerExtended lock("Node");
  TBoundedThreads threads;
  threads.Start([&] {
    lock.BeginRead();
    const ELock upgrade = LockErrorOf([&] { lock.BeginWrite(true); });
    EXPECT_EQ(upgrade.Code(), 0);
    EXPECT_STREQ(upgrade.what(), "Node is currently locked for reading!");
    // The failed attempt took nothing: the read is still held, the write is not.
    EXPECT_EQ(lock.WriteDepth(), 0);
    EXPECT_EQ(lock.ReadCount(), 1);
    EXPECT_EQ(LockErrorOf([&] { lock.EndWrite(); }).Code(), 1);
    lock.EndRead();
  });
  threads.JoinAll();
  // Another thread now gets the write lock.
  threads.Start([&] {
    lock.BeginWrite(true);
    lock.EndWrite();
  });
  threads.JoinAll();
}

TEST(TMultiReadExclusiveWriteSynchronizerExtended, AReaderMayUpgradeWithoutTheCheck) {
  TMultiReadExclusiveWriteSynchronizerExtended lock("Node");
  TBoundedThreads threads;
  threads.Start([&] {
    lock.BeginRead();
    EXPECT_TRUE(lock.BeginWrite(false));  // nobody else wanted it
    EXPECT_EQ(lock.WriteDepth(), 1);
    lock.EndWrite();
    lock.EndRead();
  });
  threads.JoinAll();
}

TEST(TMultiReadExclusiveWriteSynchronizerExtended, WriterReentersAndAlsoReads) {
  TMultiReadExclusiveWriteSynchronizerExtended lock("Node");
  TBoundedThreads threads;
  threads.Start([&] {
    EXPECT_TRUE(lock.BeginWrite(true));
    EXPECT_TRUE(lock.BeginWrite(true));
    EXPECT_EQ(lock.WriteDepth(), 2);
    lock.BeginRead();
    lock.BeginRead();
    EXPECT_EQ(lock.ReadCount(), 2);
    lock.EndRead();
    lock.EndRead();
    lock.EndWrite();
    lock.EndWrite();
    EXPECT_EQ(lock.WriteDepth(), 0);
  });
  threads.JoinAll();
}

TEST(TMultiReadExclusiveWriteSynchronizerExtended, ReadingWriterFailsANestedCheckedWriteButKeepsTheOuterOne) {
  TMultiReadExclusiveWriteSynchronizerExtended lock("Node");
  lock.BeginWrite(true);
  lock.BeginRead();
  EXPECT_EQ(LockErrorOf([&] { lock.BeginWrite(true); }).Code(), 0);
  EXPECT_EQ(lock.WriteDepth(), 1);
  lock.EndRead();

  // Still exclusive: a reader elsewhere waits until the outer write ends.
  std::atomic<pid_t> readerTid{0};
  std::atomic<bool> readerIn{false};
  TBoundedThreads threads;
  threads.Start([&] {
    readerTid = gettid();
    lock.BeginRead();
    readerIn = true;
    lock.EndRead();
  });
  ASSERT_TRUE(WaitUntil([&] { return readerTid != 0 && IsBlocked(readerTid); }));
  EXPECT_FALSE(readerIn);
  lock.EndWrite();
  threads.JoinAll();
  EXPECT_TRUE(readerIn);
}

TEST(TMultiReadExclusiveWriteSynchronizerExtended, StaysExclusiveUntilTheOutermostEndWrite) {
  TMultiReadExclusiveWriteSynchronizerExtended lock("Node");
  lock.BeginWrite(true);
  lock.BeginWrite(true);
  std::atomic<pid_t> readerTid{0};
  std::atomic<bool> readerIn{false};
  TBoundedThreads threads;
  threads.Start([&] {
    readerTid = gettid();
    lock.BeginRead();
    readerIn = true;
    lock.EndRead();
  });
  ASSERT_TRUE(WaitUntil([&] { return readerTid != 0 && IsBlocked(readerTid); }));
  lock.EndWrite();
  // The reader must still be kept out; give a wrongly released lock a chance to show.
  EXPECT_FALSE(WaitUntil([&] { return readerIn.load(); }, 50ms));
  lock.EndWrite();
  threads.JoinAll();
  EXPECT_TRUE(readerIn);
}

TEST(TMultiReadExclusiveWriteSynchronizerExtended, TwoReadersBothUpgradingDoNotDeadlock) {
  TMultiReadExclusiveWriteSynchronizerExtended lock("Node");
  std::atomic<int> reading{0};
  std::atomic<int> codeZero{0};
  TBoundedThreads threads;
  for (int t = 0; t < 2; ++t) {
    threads.Start([&] {
      lock.BeginRead();
      ++reading;
      ASSERT_TRUE(WaitUntil([&] { return reading.load() == 2; }));
      if (LockErrorOf([&] { lock.BeginWrite(true); }).Code() == 0) ++codeZero;
      lock.EndRead();
    });
  }
  threads.JoinAll();
  EXPECT_EQ(codeZero, 2);
  EXPECT_EQ(lock.ReadCount(), 0);
  EXPECT_EQ(lock.WriteDepth(), 0);
}

// Without the check both get the write lock in turn; the one that waited
// learns that the other wrote in between.
TEST(TMultiReadExclusiveWriteSynchronizerExtended, OfTwoUpgradingReadersOneLearnsAnotherWriterIntervened) {
  TMultiReadExclusiveWriteSynchronizerExtended lock("Node");
  std::atomic<int> reading{0};
  std::atomic<int> uninterrupted{0};
  std::atomic<int> writersInside{0};
  std::atomic<bool> overlapped{false};
  TBoundedThreads threads;
  for (int t = 0; t < 2; ++t) {
    threads.Start([&] {
      lock.BeginRead();
      ++reading;
      ASSERT_TRUE(WaitUntil([&] { return reading.load() == 2; }));
      if (lock.BeginWrite(false)) ++uninterrupted;
      if (++writersInside != 1) overlapped = true;
      --writersInside;
      lock.EndWrite();
      lock.EndRead();
    });
  }
  threads.JoinAll();
  EXPECT_EQ(uninterrupted, 1);
  EXPECT_FALSE(overlapped);
}

TEST(TMultiReadExclusiveWriteSynchronizerExtended, AReaderReentersWhileAWriterWaits) {
  TMultiReadExclusiveWriteSynchronizerExtended lock("Node");
  std::atomic<bool> reading{false}, writerWaits{false}, written{false};
  std::atomic<pid_t> writerTid{0};
  TBoundedThreads threads;
  threads.Start([&] {
    lock.BeginRead();
    reading = true;
    ASSERT_TRUE(WaitUntil([&] { return writerWaits.load(); }));
    // Blocking here would wait for a writer that waits for this very reader.
    lock.BeginRead();
    EXPECT_FALSE(written);
    lock.EndRead();
    lock.EndRead();
  });
  ASSERT_TRUE(WaitUntil([&] { return reading.load(); }));
  threads.Start([&] {
    writerTid = gettid();
    lock.BeginWrite(true);
    written = true;
    lock.EndWrite();
  });
  ASSERT_TRUE(WaitUntil([&] { return writerTid != 0 && IsBlocked(writerTid); }));
  writerWaits = true;
  threads.JoinAll();
  EXPECT_TRUE(written);
}

TEST(TMultiReadExclusiveWriteSynchronizerExtended, NewReadersGiveWayToAWaitingWriter) {
  TMultiReadExclusiveWriteSynchronizerExtended lock("Node");
  std::mutex orderMutex;
  std::vector<std::string> order;
  auto note = [&](const char* who) {
    std::lock_guard<std::mutex> guard(orderMutex);
    order.push_back(who);
  };
  lock.BeginRead();
  std::atomic<pid_t> writerTid{0}, readerTid{0};
  TBoundedThreads threads;
  threads.Start([&] {
    writerTid = gettid();
    lock.BeginWrite(true);
    note("writer");
    lock.EndWrite();
  });
  ASSERT_TRUE(WaitUntil([&] { return writerTid != 0 && IsBlocked(writerTid); }));
  threads.Start([&] {
    readerTid = gettid();
    lock.BeginRead();
    note("reader");
    lock.EndRead();
  });
  ASSERT_TRUE(WaitUntil([&] { return readerTid != 0 && IsBlocked(readerTid); }));
  lock.EndRead();
  threads.JoinAll();
  EXPECT_EQ(order, (std::vector<std::string>{"writer", "reader"}));
}

TEST(TMultiReadExclusiveWriteSynchronizerExtended, ManyContendingThreadsStayExclusive) {
  TMultiReadExclusiveWriteSynchronizerExtended lock("Node");
  constexpr int kWriters = 4, kReaders = 2, kRounds = 10000;
  long counter = 0;  // deliberately not atomic: the lock alone guards it
  std::atomic<int> writersInside{0}, readersInside{0};
  std::atomic<int> violations{0};
  TBoundedThreads threads;
  for (int w = 0; w < kWriters; ++w) {
    threads.Start([&, w] {
      for (int i = 0; i < kRounds; ++i) {
        lock.BeginWrite(true);
        const bool nested = (i + w) % 7 == 0;
        if (nested) lock.BeginWrite(true);
        if (++writersInside != 1 || readersInside.load() != 0) ++violations;
        if (nested) {
          lock.BeginRead();  // the writer reads its own data
          lock.EndRead();
        }
        ++counter;
        --writersInside;
        if (nested) lock.EndWrite();
        lock.EndWrite();
      }
    });
  }
  for (int r = 0; r < kReaders; ++r) {
    threads.Start([&] {
      long last = 0;
      for (int i = 0; i < kRounds; ++i) {
        lock.BeginRead();
        ++readersInside;
        if (writersInside.load() != 0 || counter < last) ++violations;
        last = counter;
        --readersInside;
        lock.EndRead();
      }
    });
  }
  threads.JoinAll(30s);
  EXPECT_EQ(violations, 0);
  EXPECT_EQ(counter, long{kWriters} * kRounds);
  EXPECT_EQ(lock.ReadCount(), 0);
  EXPECT_EQ(lock.WriteDepth(), 0);
}

TEST(TWriteLock, BracketsTheScope) {
  TMultiReadExclusiveWriteSynchronizerExtended lock("Node");
  {
    TWriteLock guard(lock);
    EXPECT_EQ(lock.WriteDepth(), 1);
    TReadLock read(lock);
    EXPECT_EQ(lock.ReadCount(), 1);
  }
  EXPECT_EQ(lock.WriteDepth(), 0);
  EXPECT_EQ(lock.ReadCount(), 0);
}

TEST(TReentrantReadWriteLock, AThreadReadingMoreLocksThanItsTableKeepsEveryDepthAndReleasesThemAll) {
  std::vector<TReentrantReadWriteLock> locks(20);  // more than the per-thread table holds
  for (size_t i = 0; i < locks.size(); ++i)
    for (size_t n = 0; n <= i % 2; ++n) locks[i].BeginRead();
  for (size_t i = 0; i < locks.size(); ++i) EXPECT_EQ(locks[i].ReadDepthOfThisThread(), 1 + int(i % 2)) << i;
  // An upgrade sets this thread's own reads aside, from the table or not.
  for (auto* lock : {&locks.front(), &locks.back()}) {
    EXPECT_TRUE(lock->BeginWrite());
    EXPECT_TRUE(lock->EndWrite());
  }
  for (auto& lock : locks) EXPECT_TRUE(lock.EndRead());
  for (size_t i = 1; i < locks.size(); i += 2) EXPECT_TRUE(locks[i].EndRead());
  for (auto& lock : locks) EXPECT_FALSE(lock.EndRead());
  TBoundedThreads threads;
  threads.Start([&] {
    for (auto& lock : locks) EXPECT_TRUE(lock.BeginWrite() && lock.EndWrite());
  });
  threads.JoinAll();
}
