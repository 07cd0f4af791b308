#include <gtest/gtest.h>

#include "app/uKorvanStackDeviceIngraRec.h"
#include "app/uKorvanStackDeviceOutraRec.h"
#include "protocol/uKorvanModules.h"
#include "support/TSimProcess.h"

using namespace duomat;
using korvan::test::TSimProcess;

namespace {
class SockClientsEndToEnd : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { korvan::InitializeModules(); }
};
}  // namespace

TEST_F(SockClientsEndToEnd, LoadsAndSavesIngraRangesOverTcp) {
  TSimProcess sim({"--module", "ingra", "--tcp", "127.0.0.1:0"});
  ASSERT_TRUE(sim.Started());
  TKorvanStackDeviceIngraRec rec;
  rec.SetConnectionString("provider=TCP_CLIENT;host=127.0.0.1;port=" + std::to_string(sim.TcpPort()));
  ASSERT_TRUE(rec.Connect());
  std::string ident;
  ASSERT_TRUE(rec.Device()->ReadIdentificationText(ident));
  EXPECT_EQ(ident, "Ingra;v1.0;simulated");
  ASSERT_TRUE(rec.Device()->SetRanges({2, 1, 2, 1}));
  korvan::TIngraRanges ranges{};
  ASSERT_TRUE(rec.Device()->GetRanges(ranges));
  EXPECT_EQ(ranges, (korvan::TIngraRanges{2, 1, 2, 1}));
}

TEST_F(SockClientsEndToEnd, LoadsAndSavesOutraSettingsOverUdp) {
  TSimProcess sim({"--module", "outra", "--udp", "127.0.0.1:0"});
  ASSERT_TRUE(sim.Started());
  TKorvanStackDeviceOutraRec rec;
  rec.SetConnectionString("provider=UDP_CLIENT;host=127.0.0.1;port=" + std::to_string(sim.UdpPort()));
  ASSERT_TRUE(rec.Connect());
  ASSERT_TRUE(rec.Device()->SetRanges(3, 5));
  ASSERT_TRUE(rec.Device()->SetWatchDogTimeouts(86400, 1));
  uint8_t r1 = 0, r2 = 0;
  int t1 = -1, t2 = -1;
  ASSERT_TRUE(rec.Device()->GetRanges(r1, r2));
  ASSERT_TRUE(rec.Device()->GetWatchDogTimeouts(t1, t2));
  EXPECT_EQ(r1, 3);
  EXPECT_EQ(r2, 5);
  EXPECT_EQ(t1, 86400);
  EXPECT_EQ(t2, 1);
}
