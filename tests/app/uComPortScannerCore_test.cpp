#include "app/uComPortScannerCore.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <dirent.h>
#include <unistd.h>

#include "support/TComPorts.h"
#include "support/TWait.h"

using namespace duomat;
using korvan::test::TComPorts;
using korvan::test::WaitUntil;

namespace {

int ThreadCount() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
  }
  return n;
}

// A prober the test controls: port 3 waits for Release() the first time and
// then reports "in use"; later probes of 3 find it free; every other port is absent.
struct TGatedProber {
  std::mutex m;
  std::condition_variable cv;
  bool released = false, waiting = false;
  int calls3 = 0;

  TComPortProbe operator()(int n) {
    TComPortProbe p;
    if (n != 3) return p;
    std::unique_lock<std::mutex> lock(m);
    if (++calls3 > 1) return {psFree, 0, "three"};
    waiting = true;
    cv.notify_all();
    cv.wait(lock, [&] { return released; });
    return {psNotAvailable, EBUSY, "three"};
  }
  void Release() {
    std::lock_guard<std::mutex> lock(m);
    released = true;
    cv.notify_all();
  }
  bool Waiting() {
    std::lock_guard<std::mutex> lock(m);
    return waiting;
  }
};

struct TReport {
  int Port;
  uint8_t State;
  uint32_t Generation;
};

}  // namespace

TEST(TComPortScannerCore, ProbesLinksDevicesAndTheSysfsTypeAsAnOpenWould) {
  TComPorts machine;
  machine.AddTerminal(1);
  machine.AddTerminal(3);
  machine.AddDanglingLink(4);
  machine.AddHeldTerminal(5);
  machine.AddDevice("ttyS9", 0);  // COM10: no UART behind it
  machine.SetTtyType("ttyS9", 0);
  machine.AddDevice("ttyS10", 0);  // COM11: a real UART we may not open
  machine.SetTtyType("ttyS10", 4);

  TComPortScannerCore core;
  ASSERT_TRUE(core.ScanAndWait(std::chrono::seconds(10)));
  TComPortThreadSharedData& d = core.Shared();
  std::vector<int> present;
  for (int n = 1; n <= ComPortCount; ++n)
    if (d.State(n) != psAbsent) present.push_back(n);
  const bool privileged = access((machine.DevDir() + "/ttyS10").c_str(), R_OK | W_OK) == 0;
  EXPECT_EQ(present, (std::vector<int>{1, 3, 5, 11}));
  EXPECT_EQ(d.State(1), psFree);
  EXPECT_EQ(d.Probe(1).Path, machine.Link(1));
  EXPECT_EQ(d.State(5), psNotAvailable);
  EXPECT_EQ(d.Probe(5).Error, EWOULDBLOCK);
  EXPECT_EQ(d.Probe(2).Path, machine.DevDir() + "/ttyS1");
  if (!privileged) {
    EXPECT_EQ(d.Probe(11).Error, EACCES);
  }
}

TEST(TComPortScannerCore, ARestartDiscardsResultsOfTheEarlierScan) {
  TGatedProber gate;
  TComPortScannerCore core([&](int n) { return gate(n); });
  std::mutex m;
  std::vector<TReport> reports;
  core.Shared().SetCallback([&](int port, uint8_t state, uint32_t generation) {
    std::lock_guard<std::mutex> lock(m);
    reports.push_back({port, state, generation});
  });
  core.StartScan();
  ASSERT_TRUE(WaitUntil([&] { return gate.Waiting(); }));
  const uint32_t first = core.Shared().Generation();
  core.StartScan();
  ASSERT_TRUE(WaitUntil([&] { return core.Shared().State(255) == psAbsent; }));
  gate.Release();  // the first scan's probe of 3 ends now, with "in use"
  ASSERT_TRUE(core.Shared().WaitComplete(std::chrono::seconds(10)));
  core.Stop();
  EXPECT_EQ(core.Shared().State(3), psFree);
  std::lock_guard<std::mutex> lock(m);
  for (const TReport& r : reports) {
    EXPECT_FALSE(r.State == psNotAvailable) << "port " << r.Port;
    EXPECT_TRUE(r.Generation == first || r.Generation == first + 1);
  }
}

TEST(TComPortScannerCore, StoppedThreadsResumeAndDestroyingDuringAScanEndsThem) {
  const int before = ThreadCount();
  {
    TComPortScannerCore core([](int n) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));  // a slow line
      return TComPortProbe{n % 2 ? psFree : psAbsent, 0, {}};
    });
    EXPECT_EQ(ThreadCount(), before + TComPortScannerCore::ThreadCount);
    core.StartScan();
    ASSERT_TRUE(WaitUntil([&] { return core.Shared().State(20) != psNotScanned; }));
    core.Stop();
    core.StartScan();  // parked threads go on
    ASSERT_TRUE(core.Shared().WaitComplete(std::chrono::seconds(10)));
    EXPECT_EQ(core.Shared().State(7), psFree);
    core.StartScan();  // and destroyed while it runs
  }
  EXPECT_EQ(ThreadCount(), before);
}
