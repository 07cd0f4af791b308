// The field work the window and the command line share, driven as a window
// drives it: progress reported, a stop obeyed, against korvan-sim on TCP.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "core/uBatch.h"
#include "core/uModuleScan.h"
#include "core/uProfile.h"
#include "core/uLibraryStart.h"
#include "support/TSimProcess.h"

namespace duomat {
namespace {

class FieldWork : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartLibrary(); }

  void SetUp() override {
    sim_ = std::make_unique<korvan::test::TSimProcess>(std::vector<std::string>{
        "--module", "ingra", "--address", "0x31", "--kind", "voltage", "--module", "outra", "--address", "0x33",
        "--tcp", "127.0.0.1:0"});
    ASSERT_TRUE(sim_->Started());
    connection_ = "provider=TCP_CLIENT;host=127.0.0.1;port=" + std::to_string(sim_->TcpPort());
  }

  std::unique_ptr<korvan::test::TSimProcess> sim_;
  std::string connection_;
};

TEST_F(FieldWork, AScanReportsEachAddressBeforeAskingAndFindsBothModules) {
  TModuleLine line;
  ASSERT_TRUE(line.Open(connection_));
  std::vector<TScanProgress> seen;
  const TScanResult r = ScanModules(line, {0x30, 0x34, {}, false, 250},
                                    {[&](const TScanProgress& p) { seen.push_back(p); }, {}});
  ASSERT_EQ(r.Found.size(), 2u);
  EXPECT_EQ(r.Found[0].Address, 0x31);
  EXPECT_EQ(r.Found[1].Address, 0x33);
  EXPECT_FALSE(r.Interrupted);
  ASSERT_EQ(seen.size(), 5u);
  // The time left shrinks by one time-out an address; the count follows the finds.
  EXPECT_EQ(seen.front().MsLeft, 5 * 250);
  EXPECT_EQ(seen.back().MsLeft, 250);
  EXPECT_EQ(seen[2].Found, 1u);
  EXPECT_EQ(seen.back().Found, 2u);
}

TEST_F(FieldWork, AScanStopsAtTheNextAddressWhenCancelled) {
  TModuleLine line;
  ASSERT_TRUE(line.Open(connection_));
  int calls = 0;
  TScanCallbacks callbacks{[&](const TScanProgress&) { ++calls; }, {}};
  callbacks.Cancelled.Requested = [&] { return calls >= 2; };
  const TScanResult r = ScanModules(line, {0x00, 0xFD, {}, false, 250}, callbacks);
  EXPECT_TRUE(r.Interrupted);
  EXPECT_EQ(r.Scanned, 2);
}

TEST_F(FieldWork, AProfileCancelledAfterLoadingWritesNothing) {
  TKorvanStackDeviceOutraRec record;
  record.Device()->SetAdr(0x33);
  ASSERT_TRUE(ConnectOutra(record, connection_).Ok);
  TProfile p;
  p.Module = TModuleKind::Outra;
  p.Codes = {2, 2};
  const TProfileResult r = RunProfile(*record.Device(), p, TProfileAction::Apply, TCancel{[] { return true; }});
  EXPECT_FALSE(r.Ok);
  EXPECT_FALSE(r.Changed);
  EXPECT_EQ(r.Message, "Interrupted before anything was written.");
  EXPECT_EQ(LoadOutra(*record.Device()).Settings.Code1, 1);
}

TEST_F(FieldWork, ABatchStoppedBeforeItsLinesRunLeavesEveryEntryNotRun) {
  std::vector<TBatchEntry> entries(2);
  entries[0] = {"pump 1", connection_, 0x31, TModuleKind::Ingra, TBatchAction::Identify, {}};
  entries[1] = {"pump 2", connection_, 0x33, TModuleKind::Outra, TBatchAction::Load, {}};
  TBatchRun stopped(entries, 250);
  stopped.Stop();
  std::atomic<int> ended{0};
  stopped.Start(4, [&] { ++ended; });
  stopped.Join();
  EXPECT_EQ(ended, 1);
  for (const TBatchResult& r : stopped.Results(false)) EXPECT_EQ(r.State, TBatchResult::TState::NotRun);
  EXPECT_EQ(BatchStatus(stopped.Results(false)), 1);

  // Both entries share one line: one worker runs them in order.
  TBatchRun run(entries, 1000);
  EXPECT_EQ(run.Lines(), 1u);
  run.Start(4, {});
  run.Join();
  const std::vector<TBatchResult> results = run.Results(false);
  EXPECT_EQ(results[0].State, TBatchResult::TState::Ok);
  EXPECT_EQ(results[1].Details["profile"]["module"], "outra");
  EXPECT_EQ(run.Progress().Done, 2u);
  EXPECT_EQ(BatchStatus(results), 0);
}

}  // namespace
}  // namespace duomat
