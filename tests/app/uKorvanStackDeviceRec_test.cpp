#include "app/uKorvanStackDeviceIngraRec.h"
#include "app/uKorvanStackDeviceOutraRec.h"

#include <gtest/gtest.h>

#include "protocol/uKorvanModules.h"
#include "support/TSimProcess.h"

using namespace duomat;
using korvan::test::TPortDir;
using korvan::test::TSimProcess;

namespace {
class RecordTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { korvan::InitializeModules(); }
};

std::string SerialString(int port) { return "provider=SERIAL_PORT;comport=" + std::to_string(port) + ";baudrate=115200"; }
}  // namespace

TEST_F(RecordTest, ANewRecordIsNotConnectedAndCannotConnectWithoutAString) {
  TKorvanStackDeviceIngraRec rec;
  EXPECT_FALSE(rec.IsConnected());
  EXPECT_EQ(rec.GetConnectionString(), "");
  EXPECT_FALSE(rec.Connect());
  EXPECT_FALSE(rec.IsConnected());
}

TEST_F(RecordTest, APortThatCannotBeOpenedGivesFalseAndStaysDisconnected) {
  TPortDir dir;
  TKorvanStackDeviceOutraRec rec;
  rec.SetConnectionString("provider=SERIAL_PORT;comport=200");  // beyond every mapped device, no link
  EXPECT_FALSE(rec.Connect());
  EXPECT_FALSE(rec.IsConnected());
}

TEST_F(RecordTest, ConnectsToASimulatedIngraOnASerialLineAndReadsAndWritesRanges) {
  TPortDir dir;
  TSimProcess sim({"--module", "ingra", "--link", dir.Link(5)});
  ASSERT_TRUE(sim.Started());
  TKorvanStackDeviceIngraRec rec;
  rec.SetConnectionString(SerialString(5));
  ASSERT_TRUE(rec.Connect());
  EXPECT_TRUE(rec.IsConnected());

  std::string ident;
  ASSERT_TRUE(rec.Device()->ReadIdentificationText(ident));
  EXPECT_EQ(ident, "Ingra;v1.0;simulated");

  korvan::TIngraRanges ranges{};
  ASSERT_TRUE(rec.Device()->GetRanges(ranges));
  EXPECT_EQ(ranges, (korvan::TIngraRanges{1, 1, 1, 1}));
  ASSERT_TRUE(rec.Device()->SetRanges({2, 2, 1, 2}));
  ASSERT_TRUE(rec.Device()->GetRanges(ranges));
  EXPECT_EQ(ranges, (korvan::TIngraRanges{2, 2, 1, 2}));

  TRef<korvan::ci::ICommunicationInterface> comm = rec.CommInterface();
  rec.Disconnect();
  EXPECT_FALSE(rec.IsConnected());
  EXPECT_FALSE(comm->GetActive());
}

TEST_F(RecordTest, SettingTheConnectionStringDisconnects) {
  TPortDir dir;
  TSimProcess sim({"--module", "outra", "--link", dir.Link(6)});
  ASSERT_TRUE(sim.Started());
  TKorvanStackDeviceOutraRec rec;
  rec.SetConnectionString(SerialString(6));
  ASSERT_TRUE(rec.Connect());
  ASSERT_TRUE(rec.Device()->SetRanges(5, 5));
  ASSERT_TRUE(rec.Device()->SetWatchDogTimeouts(60, 0));
  ASSERT_TRUE(rec.Device()->SetWatchDogValues(2048, 0));
  uint8_t r1 = 0, r2 = 0;
  int t1 = -1, t2 = -1, v1 = -1, v2 = -1;
  ASSERT_TRUE(rec.Device()->GetRanges(r1, r2));
  ASSERT_TRUE(rec.Device()->GetWatchDogTimeouts(t1, t2));
  ASSERT_TRUE(rec.Device()->GetWatchDogValues(v1, v2));
  EXPECT_EQ(r1, 5);
  EXPECT_EQ(r2, 5);
  EXPECT_EQ(t1, 60);
  EXPECT_EQ(t2, 0);
  EXPECT_EQ(v1, 2048);
  EXPECT_EQ(v2, 0);
  rec.SetConnectionString(SerialString(6));
  EXPECT_FALSE(rec.IsConnected());
}
