#pragma once
// The COM port scanner without a user interface: threads probe ports 1 to 255 and report changes.
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Eight threads probe the ports and report every change of a port's state. The
// program's scanner posts the reports to its window thread; duomat-cli waits
// for a complete scan.
namespace duomat {

// Port states, one byte per port.
enum TComPortState : uint8_t {
  psNotScanned = 0,
  psFree = 1,      // opened
  psNotAvailable = 2,  // any failure but "not found": in use, no access, …
  psAbsent = 3,    // not found
  psProbing = 4,
};

inline constexpr int ComPortCount = 255;

// One probe: the state, the open's errno (0 when it opened) and the path the
// number maps to (empty when none).
struct TComPortProbe {
  uint8_t State = psAbsent;
  int Error = 0;
  std::string Path;
};

// Opens port n the way the serial port does (non-blocking, exclusive lock)
// and closes it at once.
TComPortProbe ProbeComPort(int n);
using TComPortProber = std::function<TComPortProbe(int n)>;

// Everything the scan threads share, behind one lock. Reports are made under
// that lock, so they come in the order the states changed.
class TComPortThreadSharedData {
 public:
  // (port, state, generation of the scan that made it); must not block.
  using TCallback = std::function<void(int port, uint8_t state, uint32_t generation)>;

  explicit TComPortThreadSharedData(TComPortProber prober = ProbeComPort);

  void SetCallback(TCallback callback);
  // A new scan: every state 0, the next port 1, the generation + 1. With
  // notify, state 0 is reported for every port.
  void Reset(bool notify);
  // Takes the next port and probes it outside the lock; false when every
  // port is taken. A result from before a reset is discarded.
  bool TakeAndProbe();
  bool Complete() const;
  // Waits until the scan is complete or the bound passes.
  bool WaitComplete(std::chrono::milliseconds bound);

  uint8_t State(int port) const;
  TComPortProbe Probe(int port) const;  // the last probe's result
  uint32_t Generation() const;

 private:
  void Report(int port, uint8_t state);  // under mutex_

  const TComPortProber prober_;
  mutable std::mutex mutex_;
  std::condition_variable completed_;
  std::array<TComPortProbe, ComPortCount + 1> probes_{};  // [0] unused
  std::array<uint8_t, ComPortCount + 1> states_{};
  int next_ = ComPortCount + 1;
  int finished_ = 0;
  uint32_t generation_ = 0;
  TCallback callback_;
};

// Cooperative suspension: a thread is only ever held at its check point,
// never inside a probe or the shared lock.
class TThreadSuspender {
 public:
  // Scan thread: parks while a suspension is asked for or in force.
  void CheckPoint();
  // Scan thread, when idle: waits up to the bound; a request or terminate ends it early.
  void Idle(std::chrono::milliseconds bound);
  bool Terminated() const;

  // Controlling thread.
  void RequestSuspend();
  // Waits until parked (unless already suspended), then holds the thread
  // there and clears the request.
  void CompleteSuspend();
  void Resume();
  void Terminate();

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool requested_ = false;
  bool parked_ = false;
  bool suspended_ = true;  // threads are created suspended
  bool terminated_ = false;
};

// One scan thread: check point, take and probe, 1 ms rest when idle.
class TScanThread {
 public:
  TScanThread(TComPortThreadSharedData& shared, int index);
  ~TScanThread();  // terminates and joins
  TScanThread(const TScanThread&) = delete;
  TScanThread& operator=(const TScanThread&) = delete;

  TThreadSuspender& Suspender() { return suspender_; }

 private:
  void Run(int index);

  TComPortThreadSharedData& shared_;
  TThreadSuspender suspender_;
  std::thread thread_;
};

// Eight scan threads over one shared data, idle (suspended) until started.
class TComPortScannerCore {
 public:
  static constexpr int ThreadCount = 8;

  explicit TComPortScannerCore(TComPortProber prober = ProbeComPort);
  ~TComPortScannerCore();  // ends every thread, also during a scan
  TComPortScannerCore(const TComPortScannerCore&) = delete;
  TComPortScannerCore& operator=(const TComPortScannerCore&) = delete;

  TComPortThreadSharedData& Shared() { return shared_; }
  // Resets the data and lets every thread run; during a scan this restarts it.
  void StartScan();
  // Suspends every thread at its check point.
  void Stop();
  // One complete scan on the calling thread's behalf; false when the bound passed.
  bool ScanAndWait(std::chrono::milliseconds bound);

 private:
  TComPortThreadSharedData shared_;
  std::vector<std::unique_ptr<TScanThread>> threads_;
};

}  // namespace duomat
