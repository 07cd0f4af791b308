#include "core/uComPortScannerCore.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/TWait.h"

using namespace duomat;

namespace {
// Scan threads alive: tasks named "COM scan …" (a sanitizer's own threads do not count).
int ScanThreads() {
  int n = 0;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::string name;
    n += std::getline(std::ifstream(task.path() / "comm"), name) && name.rfind("COM scan", 0) == 0;
  }
  return n;
}
}  // namespace

TEST(TComPortScannerCore, StoppedThreadsResumeAndDestroyingDuringAScanEndsThem) {
  {
    TComPortScannerCore core([](int n) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));  // a slow line
      return TComPortProbe{n % 2 ? psFree : psAbsent, 0, {}};
    });
    EXPECT_TRUE(korvan::test::WaitUntil([] { return ScanThreads() == TComPortScannerCore::ThreadCount; }));
    core.StartScan();
    ASSERT_TRUE(korvan::test::WaitUntil([&] { return core.Shared().State(20) != psNotScanned; }));
    core.Stop();
    core.StartScan();  // parked threads go on
    ASSERT_TRUE(core.Shared().WaitComplete(std::chrono::seconds(10)));
    core.StartScan();  // and destroyed while it runs
  }
  EXPECT_EQ(ScanThreads(), 0);
}
