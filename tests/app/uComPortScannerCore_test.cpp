#include "app/uComPortScannerCore.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/TWait.h"

using namespace duomat;

namespace {
int ThreadCount() {
  return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/task"), {}));
}
}  // namespace

TEST(TComPortScannerCore, StoppedThreadsResumeAndDestroyingDuringAScanEndsThem) {
  const int before = ThreadCount();
  {
    TComPortScannerCore core([](int n) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));  // a slow line
      return TComPortProbe{n % 2 ? psFree : psAbsent, 0, {}};
    });
    EXPECT_EQ(ThreadCount(), before + TComPortScannerCore::ThreadCount);
    core.StartScan();
    ASSERT_TRUE(korvan::test::WaitUntil([&] { return core.Shared().State(20) != psNotScanned; }));
    core.Stop();
    core.StartScan();  // parked threads go on
    ASSERT_TRUE(core.Shared().WaitComplete(std::chrono::seconds(10)));
    EXPECT_EQ(core.Shared().State(7), psFree);
    EXPECT_EQ(core.Shared().State(8), psAbsent);
    core.StartScan();  // and destroyed while it runs
  }
  EXPECT_EQ(ThreadCount(), before);
}
