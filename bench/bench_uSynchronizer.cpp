// The re-entrant lock's uncontended read pair next to std::shared_mutex's, in
// the same run: the figure reads as "how many shared_mutex pairs' worth".
//
//   BM_ReentrantReadPair        BeginRead + EndRead, outermost
//   BM_ReentrantReadPairNested  the same while this thread holds three other locks
//   BM_SynchronizerReadPair     the named lock's TReadLock (what the objects use)
//   BM_SharedMutexReadPair      lock_shared + unlock_shared
#include <benchmark/benchmark.h>

#include <shared_mutex>

#include "comm/uSynchronizer.h"

using namespace korvan;

static void BM_ReentrantReadPair(benchmark::State& state) {
  TReentrantReadWriteLock lock;
  for (auto _ : state) {
    lock.BeginRead();
    lock.EndRead();
  }
}
BENCHMARK(BM_ReentrantReadPair);

static void BM_ReentrantReadPairNested(benchmark::State& state) {
  TReentrantReadWriteLock held[3];
  for (auto& h : held) h.BeginRead();
  TReentrantReadWriteLock lock;
  for (auto _ : state) {
    lock.BeginRead();
    lock.EndRead();
  }
  for (auto& h : held) h.EndRead();
}
BENCHMARK(BM_ReentrantReadPairNested);

static void BM_SynchronizerReadPair(benchmark::State& state) {
  TMultiReadExclusiveWriteSynchronizerExtended lock("bench");
  for (auto _ : state) {
    TReadLock guard(lock);
  }
}
BENCHMARK(BM_SynchronizerReadPair);

static void BM_SharedMutexReadPair(benchmark::State& state) {
  std::shared_mutex lock;
  for (auto _ : state) {
    lock.lock_shared();
    lock.unlock_shared();
  }
}
BENCHMARK(BM_SharedMutexReadPair);

BENCHMARK_MAIN();
