#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>

#include "core/uKorvanStackDeviceIngraRec.h"
#include "core/uKorvanStackDeviceOutraRec.h"
#include "comm/uCI_Wrapper.h"
#include "core/uLibraryStart.h"
#include "support/TSimProcess.h"
#include "transports/uLoopbackPeers.h"
#include "transports/uTransportLog.h"

using namespace duomat;
using korvan::test::TSimProcess;

namespace {
class SockClientsEndToEnd : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { duomat::StartLibrary(); }
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

TEST_F(SockClientsEndToEnd, LoadsAndSavesOutraSettingsOverTcp) {
  TSimProcess sim({"--module", "outra", "--tcp", "127.0.0.1:0"});
  ASSERT_TRUE(sim.Started());
  TKorvanStackDeviceOutraRec rec;
  rec.SetConnectionString("provider=TCP_CLIENT;host=127.0.0.1;port=" + std::to_string(sim.TcpPort()));
  ASSERT_TRUE(rec.Connect());
  std::string ident;
  ASSERT_TRUE(rec.Device()->ReadIdentificationText(ident));
  EXPECT_EQ(ident, "Outra;v1.0;simulated");
  ASSERT_TRUE(rec.Device()->SetRanges(2, 4));
  ASSERT_TRUE(rec.Device()->SetWatchDogTimeouts(0, 600));
  uint8_t r1 = 0, r2 = 0;
  int t1 = -1, t2 = -1;
  ASSERT_TRUE(rec.Device()->GetRanges(r1, r2));
  ASSERT_TRUE(rec.Device()->GetWatchDogTimeouts(t1, t2));
  EXPECT_EQ(r1, 2);
  EXPECT_EQ(r2, 4);
  EXPECT_EQ(t1, 0);
  EXPECT_EQ(t2, 600);
}

TEST_F(SockClientsEndToEnd, LoadsAndSavesIngraRangesOverUdp) {
  TSimProcess sim({"--module", "ingra", "--udp", "127.0.0.1:0"});
  ASSERT_TRUE(sim.Started());
  TKorvanStackDeviceIngraRec rec;
  rec.SetConnectionString("provider=UDP_CLIENT;host=127.0.0.1;port=" + std::to_string(sim.UdpPort()));
  ASSERT_TRUE(rec.Connect());
  std::string ident;
  ASSERT_TRUE(rec.Device()->ReadIdentificationText(ident));
  EXPECT_EQ(ident, "Ingra;v1.0;simulated");
  ASSERT_TRUE(rec.Device()->SetRanges({1, 2, 2, 1}));
  korvan::TIngraRanges ranges{};
  ASSERT_TRUE(rec.Device()->GetRanges(ranges));
  EXPECT_EQ(ranges, (korvan::TIngraRanges{1, 2, 2, 1}));
}

namespace {
// Counts the wrapper's closed notifications.
class TCloseCounter {
 public:
  void OnClose(korvan::ci::ICommunicationInterface*) { closes.fetch_add(1); }
  std::atomic<int> closes{0};
};
}  // namespace

TEST_F(SockClientsEndToEnd, ASimulatorEndedWhileConnectedLeavesTheTcpLineInactiveWithoutAClosedNotification) {
  TSimProcess sim({"--module", "ingra", "--tcp", "127.0.0.1:0"});
  ASSERT_TRUE(sim.Started());
  TCloseCounter counter;  // outlives the record, which may still close the line
  TKorvanStackDeviceIngraRec rec;
  rec.SetConnectionString("provider=TCP_CLIENT;host=127.0.0.1;port=" + std::to_string(sim.TcpPort()));
  ASSERT_TRUE(rec.Connect());
  std::string ident;
  ASSERT_TRUE(rec.Device()->ReadIdentificationText(ident));

  TRef<korvan::ci::ICommunicationInterface> comm = rec.CommInterface();
  comm->SetOnClose(korvan::ci::TCiNotifyEvent::Bind<&TCloseCounter::OnClose>(&counter));
  auto* wrapper = korvan::Supports<korvan::ci::ICommunicationWrapperInterface>(comm);
  ASSERT_NE(wrapper, nullptr);
  TRef<korvan::test::TTransportLog> log = korvan::CreateObject<korvan::test::TTransportLog>();
  log->Listen(*wrapper->GetTransport());

  EXPECT_EQ(sim.Terminate(), 0);
  EXPECT_TRUE(korvan::test::WaitUntil([&] { return !rec.IsConnected(); }, std::chrono::seconds(1)));
  EXPECT_FALSE(comm->GetActive());
  EXPECT_EQ(counter.closes.load(), 0);
  EXPECT_EQ(log->Closed(), 0);
}

// The simulator's fault switches, over each socket transport.
class SockClientsFaults : public SockClientsEndToEnd, public ::testing::WithParamInterface<std::string> {
 protected:
  // Starts the Ingra simulator with `faults` and connects the record to it.
  void Start(std::vector<std::string> faults) {
    const bool tcp = GetParam() == "TCP_CLIENT";
    std::vector<std::string> options = {"--module", "ingra", tcp ? "--tcp" : "--udp", "127.0.0.1:0"};
    options.insert(options.end(), faults.begin(), faults.end());
    sim_ = std::make_unique<TSimProcess>(options);
    ASSERT_TRUE(sim_->Started());
    rec_.SetConnectionString("provider=" + GetParam() +
                             ";host=127.0.0.1;port=" + std::to_string(tcp ? sim_->TcpPort() : sim_->UdpPort()));
    ASSERT_TRUE(rec_.Connect());
    rec_.Device()->SetTimeout(300);
  }
  void TearDown() override {
    rec_.Disconnect();
    sim_.reset();
  }

  // Declared first, so that it outlives the line that talks to it.
  std::unique_ptr<TSimProcess> sim_;
  TKorvanStackDeviceIngraRec rec_;
};

TEST_P(SockClientsFaults, NoiseBeforeEveryAnswerIsSkipped) {
  ASSERT_NO_FATAL_FAILURE(Start({"--noise", "00FF132A0D"}));
  std::string ident;
  ASSERT_TRUE(rec_.Device()->ReadIdentificationText(ident));
  EXPECT_EQ(ident, "Ingra;v1.0;simulated");
  ASSERT_TRUE(rec_.Device()->SetRanges({2, 2, 1, 1}));
  korvan::TIngraRanges ranges{};
  ASSERT_TRUE(rec_.Device()->GetRanges(ranges));
  EXPECT_EQ(ranges, (korvan::TIngraRanges{2, 2, 1, 1}));
}

TEST_P(SockClientsFaults, AnAnswerInTwoPiecesIsJoined) {
  ASSERT_NO_FATAL_FAILURE(Start({"--split", "40"}));
  std::string ident;
  ASSERT_TRUE(rec_.Device()->ReadIdentificationText(ident));
  EXPECT_EQ(ident, "Ingra;v1.0;simulated");
  korvan::TIngraRanges ranges{};
  ASSERT_TRUE(rec_.Device()->GetRanges(ranges));
}

TEST_P(SockClientsFaults, AWrongChecksumFailsTheFirstRequestAndARetrySucceeds) {
  ASSERT_NO_FATAL_FAILURE(Start({"--bad-checksum-first"}));
  std::string ident;
  EXPECT_FALSE(rec_.Device()->ReadIdentificationText(ident));
  EXPECT_EQ(rec_.Device()->GetStatus(), korvan::KorvanStatusNoAnswer);
  ASSERT_TRUE(rec_.Device()->ReadIdentificationText(ident));
  EXPECT_EQ(ident, "Ingra;v1.0;simulated");
}

TEST_P(SockClientsFaults, ASilentModuleFailsTheRequestAfterTheDeviceTimeOut) {
  ASSERT_NO_FATAL_FAILURE(Start({"--silent"}));
  korvan::TIngraRanges ranges{};
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(rec_.Device()->GetRanges(ranges));
  const long long elapsed = korvan::test::loopback::MsSince(start);
  EXPECT_GE(elapsed, 290);
  EXPECT_LT(elapsed, 3000);
  EXPECT_EQ(rec_.Device()->GetStatus(), korvan::KorvanStatusNoAnswer);
  EXPECT_TRUE(rec_.IsConnected());  // silence is not a lost line
}

TEST_P(SockClientsFaults, ANoticeBeforeTheAnswerDoesNotHideTheAnswer) {
  ASSERT_NO_FATAL_FAILURE(Start({"--notice-first"}));
  std::string ident;
  ASSERT_TRUE(rec_.Device()->ReadIdentificationText(ident));
  EXPECT_EQ(ident, "Ingra;v1.0;simulated");
  ASSERT_TRUE(rec_.Device()->SetRanges({1, 1, 2, 2}));
  korvan::TIngraRanges ranges{};
  ASSERT_TRUE(rec_.Device()->GetRanges(ranges));
  EXPECT_EQ(ranges, (korvan::TIngraRanges{1, 1, 2, 2}));
}

INSTANTIATE_TEST_SUITE_P(OverEachSocketTransport, SockClientsFaults, ::testing::Values("TCP_CLIENT", "UDP_CLIENT"),
                         [](const auto& info) { return info.param == "TCP_CLIENT" ? "Tcp" : "Udp"; });
