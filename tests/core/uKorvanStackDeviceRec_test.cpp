#include "core/uKorvanStackDeviceIngraRec.h"
#include "core/uKorvanStackDeviceOutraRec.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "core/uLibraryStart.h"
#include "support/TSimProcess.h"

using namespace duomat;
using korvan::test::TPortDir;
using korvan::test::TSimProcess;

namespace {
class RecordTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { duomat::StartLibrary(); }
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
  TRef<korvan::ci::ICommunicationInterface> comm = rec.CommInterface();
  rec.SetConnectionString(SerialString(6));
  EXPECT_FALSE(rec.IsConnected());
  EXPECT_FALSE(comm->GetActive());
  EXPECT_TRUE(rec.CommInterface() == nullptr);
}

TEST_F(RecordTest, AStringWithoutARegisteredProviderMakesNoInterface) {
  TKorvanStackDeviceIngraRec rec;
  for (const char* text : {"comport=5;baudrate=115200", "provider=NOPE;comport=5"}) {
    rec.SetConnectionString(text);
    EXPECT_FALSE(rec.Connect()) << text;
    EXPECT_TRUE(rec.CommInterface() == nullptr) << text;
    EXPECT_FALSE(rec.IsConnected()) << text;
  }
  // The registry finds the provider in any case, but the wrapper then has no transport.
  rec.SetConnectionString("provider=serial_port;comport=5");
  EXPECT_FALSE(rec.Connect());
  EXPECT_FALSE(rec.IsConnected());
}

TEST_F(RecordTest, AnInterfaceThatFailedToOpenStaysUnattachedUntilDisconnect) {
  TPortDir dir;
  TKorvanStackDeviceOutraRec rec;
  rec.SetConnectionString(SerialString(200));
  EXPECT_FALSE(rec.Connect());
  TRef<korvan::ci::ICommunicationInterface> comm = rec.CommInterface();
  ASSERT_TRUE(comm);
  EXPECT_FALSE(comm->GetActive());
  EXPECT_TRUE(rec.Device()->GetStack()->GetCommInterface() == nullptr);
  EXPECT_FALSE(rec.IsConnected());
  rec.Disconnect();
  EXPECT_TRUE(rec.CommInterface() == nullptr);
  rec.Disconnect();  // harmless when not connected
}

TEST_F(RecordTest, ConnectingAgainClosesTheFirstInterfaceBeforeOpeningTheNext) {
  TPortDir dir;
  TSimProcess sim({"--module", "ingra", "--link", dir.Link(5)});
  ASSERT_TRUE(sim.Started());
  TKorvanStackDeviceIngraRec rec;
  rec.SetConnectionString(SerialString(5));
  ASSERT_TRUE(rec.Connect());
  TRef<korvan::ci::ICommunicationInterface> first = rec.CommInterface();

  // The port is exclusive: the second open works only if the first let go.
  ASSERT_TRUE(rec.Connect());
  EXPECT_FALSE(first->GetActive());
  EXPECT_TRUE(rec.CommInterface() != first);
  EXPECT_TRUE(rec.IsConnected());
  EXPECT_TRUE(rec.Device()->ReadIdentification());
}

TEST_F(RecordTest, DestroyingAConnectedRecordReleasesItsPort) {
  TPortDir dir;
  TSimProcess sim({"--module", "outra", "--link", dir.Link(5)});
  ASSERT_TRUE(sim.Started());
  TRef<korvan::ci::ICommunicationInterface> comm;
  {
    TKorvanStackDeviceOutraRec rec;
    rec.SetConnectionString(SerialString(5));
    ASSERT_TRUE(rec.Connect());
    comm = rec.CommInterface();
  }
  EXPECT_FALSE(comm->GetActive());
  TKorvanStackDeviceOutraRec next;
  next.SetConnectionString(SerialString(5));
  EXPECT_TRUE(next.Connect());
}

TEST_F(RecordTest, AVanishedLineFailsTheRequestAndTheRecordThenReportsItselfDisconnected) {
  TPortDir dir;
  auto sim = std::make_unique<TSimProcess>(std::vector<std::string>{"--module", "ingra", "--link", dir.Link(5)});
  ASSERT_TRUE(sim->Started());
  TKorvanStackDeviceIngraRec rec;
  rec.SetConnectionString(SerialString(5));
  ASSERT_TRUE(rec.Connect());
  rec.Device()->SetTimeout(300);
  ASSERT_TRUE(rec.Device()->ReadIdentification());

  ASSERT_EQ(sim->Terminate(), 0);
  sim.reset();
  // Whoever reads first finds the line gone and closes it (the receive
  // thread, or the request's own read of stale bytes): the request fails
  // either way, without trying to write onto the closed line.
  korvan::TIngraRanges ranges{};
  EXPECT_FALSE(rec.Device()->GetRanges(ranges));
  EXPECT_EQ(rec.Device()->GetStatus(), korvan::KorvanStatusNoAnswer);
  EXPECT_FALSE(rec.IsConnected());

  TSimProcess again({"--module", "ingra", "--codes", "2,2,2,2", "--link", dir.Link(5)});
  ASSERT_TRUE(again.Started());
  ASSERT_TRUE(rec.Connect());
  ASSERT_TRUE(rec.Device()->GetRanges(ranges));
  EXPECT_EQ(ranges, (korvan::TIngraRanges{2, 2, 2, 2}));
}

TEST_F(RecordTest, AVoltageIngraKeepsItsRangesWhenAskedForCurrentOnes) {
  TPortDir dir;
  TSimProcess sim({"--module", "ingra", "--kind", "voltage", "--link", dir.Link(5)});
  ASSERT_TRUE(sim.Started());
  TKorvanStackDeviceIngraRec rec;
  rec.SetConnectionString(SerialString(5));
  ASSERT_TRUE(rec.Connect());

  korvan::TIngraRanges ranges{9, 9, 9, 9};
  ASSERT_TRUE(rec.Device()->GetRanges(ranges));
  EXPECT_EQ(ranges, (korvan::TIngraRanges{0, 0, 0, 0}));
  EXPECT_FALSE(rec.Device()->SetRanges({1, 1, 1, 1}));
  EXPECT_EQ(rec.Device()->GetStatus(), korvan::KorvanStatusModuleError);
  EXPECT_EQ(rec.Device()->GetLastAck(), 3);
  ASSERT_TRUE(rec.Device()->GetRanges(ranges));
  EXPECT_EQ(ranges, (korvan::TIngraRanges{0, 0, 0, 0}));
  EXPECT_TRUE(rec.Device()->SetRanges({0, 0, 0, 0}));
}

TEST_F(RecordTest, ReadsAndWritesOutraRangesWatchdogsAndOutputs) {
  TPortDir dir;
  TSimProcess sim({"--module", "outra", "--ranges", "3,4", "--link", dir.Link(6)});
  ASSERT_TRUE(sim.Started());
  TKorvanStackDeviceOutraRec rec;
  rec.SetConnectionString(SerialString(6));
  ASSERT_TRUE(rec.Connect());
  korvan::IOutra& outra = *rec.Device();

  std::string ident;
  ASSERT_TRUE(outra.ReadIdentificationText(ident));
  EXPECT_EQ(ident, "Outra;v1.0;simulated");

  uint8_t r1 = 0, r2 = 0;
  ASSERT_TRUE(outra.GetRanges(r1, r2));
  EXPECT_EQ(std::pair(r1, r2), (std::pair<uint8_t, uint8_t>(3, 4)));
  ASSERT_TRUE(outra.SetRange(2, 7));
  EXPECT_FALSE(outra.SetRanges(0, 5));  // refused before anything is sent
  EXPECT_FALSE(outra.SetRange(1, 8));
  ASSERT_TRUE(outra.GetRanges(r1, r2));
  EXPECT_EQ(std::pair(r1, r2), (std::pair<uint8_t, uint8_t>(3, 7)));

  // -1 leaves an output as it is.
  int a = -2, b = -2;
  ASSERT_TRUE(outra.SetWatchDogTimeouts(86400, 0));
  ASSERT_TRUE(outra.SetWatchDogTimeouts(-1, 30));
  EXPECT_FALSE(outra.SetWatchDogTimeouts(86401, 0));
  ASSERT_TRUE(outra.GetWatchDogTimeouts(a, b));
  EXPECT_EQ(std::pair(a, b), std::pair(86400, 30));

  ASSERT_TRUE(outra.SetWatchDogValues(4095, -1));
  ASSERT_TRUE(outra.SetWatchDogValues(-1, 1));
  EXPECT_FALSE(outra.SetWatchDogValue(1, 4096));
  ASSERT_TRUE(outra.GetWatchDogValues(a, b));
  EXPECT_EQ(std::pair(a, b), std::pair(4095, 1));

  // One output value, seen raw (12 bit) and scaled (0 to 10000).
  ASSERT_TRUE(outra.SetOutputs(10000, -1, false));
  ASSERT_TRUE(outra.SetOutputs(-1, 2048, true));
  EXPECT_FALSE(outra.SetOutputs(10000, -1, true));
  ASSERT_TRUE(outra.GetOutputs(a, b, true));
  EXPECT_EQ(std::pair(a, b), std::pair(4095, 2048));
  ASSERT_TRUE(outra.GetOutputs(a, b, false));
  EXPECT_EQ(std::pair(a, b), std::pair(10000, 5001));
}

TEST_F(RecordTest, IsSafeToUseFromSeveralThreadsAtOnce) {
  TPortDir dir;
  TSimProcess sim({"--module", "ingra", "--link", dir.Link(5)});
  ASSERT_TRUE(sim.Started());
  TKorvanStackDeviceIngraRec rec;
  rec.SetConnectionString(SerialString(5));

  // Every Connect disconnects first under the record's lock, so the
  // exclusive port is never asked for twice and every Connect succeeds.
  std::atomic<int> failed{0};
  const auto cycle = [&] {
    for (int i = 0; i < 10; ++i) {
      if (!rec.Connect()) ++failed;
      rec.IsConnected();
      rec.GetConnectionString();
      rec.Disconnect();
    }
  };
  std::thread a(cycle), b(cycle);
  a.join();
  b.join();
  EXPECT_EQ(failed.load(), 0);
  EXPECT_FALSE(rec.IsConnected());
  ASSERT_TRUE(rec.Connect());
  EXPECT_TRUE(rec.Device()->ReadIdentification());
}

// ---- Against a misbehaving module --------------------------------------------

namespace {
class RecordWithFaultyModule : public RecordTest {
 protected:
  // An Ingra record connected to a simulator started with these switches.
  bool Start(std::vector<std::string> faults) {
    std::vector<std::string> options = {"--module", "ingra", "--codes", "2,1,2,1", "--link", dir_.Link(5)};
    options.insert(options.end(), faults.begin(), faults.end());
    sim_ = std::make_unique<TSimProcess>(options);
    if (!sim_->Started()) return false;
    rec_.SetConnectionString(SerialString(5));
    if (!rec_.Connect()) return false;
    // Failures wait for the time-out; keep it short.
    rec_.Device()->SetTimeout(300);
    return true;
  }

  static constexpr korvan::TIngraRanges kCodes{2, 1, 2, 1};
  TPortDir dir_;
  std::unique_ptr<TSimProcess> sim_;
  TKorvanStackDeviceIngraRec rec_;
};
}  // namespace

TEST_F(RecordWithFaultyModule, NoiseBeforeEveryAnswerIsSkipped) {
  ASSERT_TRUE(Start({"--noise", "00FF2A13612A"}));  // with stray "*" and "a*"
  korvan::TIngraRanges ranges{};
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(rec_.Device()->GetRanges(ranges));
    EXPECT_EQ(ranges, kCodes);
  }
  std::string ident;
  ASSERT_TRUE(rec_.Device()->ReadIdentificationText(ident));
  EXPECT_EQ(ident, "Ingra;v1.0;simulated");
}

TEST_F(RecordWithFaultyModule, AnAnswerSplitInTwoIsPutBackTogether) {
  ASSERT_TRUE(Start({"--split", "100"}));
  korvan::TIngraRanges ranges{};
  ASSERT_TRUE(rec_.Device()->GetRanges(ranges));
  EXPECT_EQ(ranges, kCodes);
  ASSERT_TRUE(rec_.Device()->SetRanges({1, 1, 2, 2}));
  ASSERT_TRUE(rec_.Device()->GetRanges(ranges));
  EXPECT_EQ(ranges, (korvan::TIngraRanges{1, 1, 2, 2}));
}

TEST_F(RecordWithFaultyModule, ABadChecksumFailsTheFirstRequestAndARetrySucceeds) {
  ASSERT_TRUE(Start({"--bad-checksum-first"}));
  korvan::TIngraRanges ranges{};
  EXPECT_FALSE(rec_.Device()->GetRanges(ranges));
  EXPECT_EQ(rec_.Device()->GetStatus(), korvan::KorvanStatusNoAnswer);
  EXPECT_TRUE(rec_.IsConnected());
  ASSERT_TRUE(rec_.Device()->GetRanges(ranges));
  EXPECT_EQ(ranges, kCodes);
  EXPECT_EQ(rec_.Device()->GetStatus(), korvan::KorvanStatusDone);
}

TEST_F(RecordWithFaultyModule, ASilentModuleFailsEveryRequestAndTheLineStaysConnected) {
  ASSERT_TRUE(Start({"--silent"}));
  korvan::TIngraRanges ranges{};
  EXPECT_FALSE(rec_.Device()->ReadIdentification());
  EXPECT_EQ(rec_.Device()->GetStatus(), korvan::KorvanStatusNoAnswer);
  EXPECT_FALSE(rec_.Device()->GetRanges(ranges));
  EXPECT_EQ(rec_.Device()->GetStatus(), korvan::KorvanStatusNoAnswer);
  EXPECT_TRUE(rec_.IsConnected());
}

TEST_F(RecordWithFaultyModule, ANoticeWithTheRequestsSignatureIsNotTakenForTheAnswer) {
  ASSERT_TRUE(Start({"--notice-first"}));
  korvan::TIngraRanges ranges{};
  ASSERT_TRUE(rec_.Device()->GetRanges(ranges));
  EXPECT_EQ(ranges, kCodes);
  EXPECT_EQ(rec_.Device()->GetLastAck(), 0);
  ASSERT_TRUE(rec_.Device()->SetRanges({1, 2, 1, 2}));
  ASSERT_TRUE(rec_.Device()->GetRanges(ranges));
  EXPECT_EQ(ranges, (korvan::TIngraRanges{1, 2, 1, 2}));
}

TEST_F(RecordWithFaultyModule, ARefusedRequestFailsWithTheModulesAcknowledge) {
  ASSERT_TRUE(Start({"--forced-ack", "5"}));
  korvan::TIngraRanges ranges{};
  EXPECT_FALSE(rec_.Device()->GetRanges(ranges));
  EXPECT_EQ(rec_.Device()->GetStatus(), korvan::KorvanStatusModuleError);
  EXPECT_EQ(rec_.Device()->GetLastAck(), 5);
}

TEST_F(RecordWithFaultyModule, ALateAnswerIsNotTakenForTheNextRequest) {
  // Each answer comes 400 ms after its request: the first request gives up
  // at 300 ms, and its answer then arrives while the second one waits.
  ASSERT_TRUE(Start({"--delay", "400"}));
  std::string ident;
  EXPECT_FALSE(rec_.Device()->ReadIdentificationText(ident));
  rec_.Device()->SetTimeout(2000);
  korvan::TIngraRanges ranges{};
  ASSERT_TRUE(rec_.Device()->GetRanges(ranges));
  EXPECT_EQ(ranges, kCodes);
}
