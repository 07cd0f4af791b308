#include "transports/inet/uCI_UDPClientInterface.h"

#include <gtest/gtest.h>

#include <string>

#include "comm/uCI_Wrapper.h"
#include "comm/uci_ConnectionString.h"
#include "core/uLibraryStart.h"
#include "transports/uLoopbackPeers.h"
#include "transports/uTransportLog.h"

using namespace korvan;
using namespace korvan::transport;
using namespace korvan::test;
using namespace korvan::test::loopback;

namespace {

std::string ToPeer(const TUdpPeer& peer) {
  return "provider=UDP_CLIENT;host=127.0.0.1;port=" + std::to_string(peer.Port());
}

// A UDP client transport on its own, talking to a loopback peer.
class TCommunicationUDPClientInterfaceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { duomat::StartLibrary(); }

  void SetUp() override {
    ASSERT_TRUE(peer_.Ready());
    log_->Listen(*udp_);
  }

  // Opens, writes one datagram to the peer and returns the port it came from.
  int OpenAndFindOwnPort(const std::string& extra = "") {
    udp_->SetConfiguration(ToPeer(peer_) + extra);
    if (!udp_->Open()) return 0;
    if (udp_->WriteString("hello") != 5) return 0;
    const auto hello = peer_.Receive();
    return hello && hello->data == "hello" ? hello->fromPort : 0;
  }

  TUdpPeer peer_;
  TRef<TCommunicationUDPClientInterface> udp_ = CreateObject<TCommunicationUDPClientInterface>();
  TRef<TTransportLog> log_ = CreateObject<TTransportLog>();
};

}  // namespace

TEST(UDPClientThroughTheWrapper, WritesOnlyTheSocketClientSettings) {
  duomat::StartLibrary();
  TRef<ci::ICommunicationInterface> wrapper;
  ASSERT_TRUE(CreateCommunicationInterface(
      "provider=UDP_CLIENT;host=127.0.0.1;port=70000;ConnectionTimeout=300;KeepAlive=0", wrapper));
  EXPECT_EQ(wrapper->GetConfiguration(), "provider=UDP_CLIENT;host=127.0.0.1;port=4464;LocalIP=0.0.0.0;LocalPort=0");
  EXPECT_EQ(wrapper->GetIdentity(), "provider=UDP_CLIENT;host=127.0.0.1;port=4464");
  EXPECT_FALSE(wrapper->GetActive());
}

TEST_F(TCommunicationUDPClientInterfaceTest, OpensOnAPlatformChosenPortAndTheAnswerToThatPortArrives) {
  const int own = OpenAndFindOwnPort();
  ASSERT_NE(own, 0);
  EXPECT_TRUE(udp_->GetActive());
  EXPECT_EQ(log_->Opened(), 1);

  ASSERT_TRUE(peer_.SendTo(own, "answer"));
  ASSERT_TRUE(WaitUntil([&] { return udp_->InputCount() == 6; }));
  std::string got;
  udp_->ReadString(got);
  EXPECT_EQ(got, "answer");

  EXPECT_TRUE(udp_->Close(false));
  EXPECT_FALSE(udp_->GetActive());
  EXPECT_EQ(log_->Closed(), 1);
}

TEST_F(TCommunicationUDPClientInterfaceTest, ALocalPortReceivesOnThatPortAndSendsFromIt) {
  const int chosen = FreeUdpPort();
  ASSERT_NE(chosen, 0);
  EXPECT_EQ(OpenAndFindOwnPort(";LocalIP=127.0.0.1;LocalPort=" + std::to_string(chosen)), chosen);
  ASSERT_TRUE(peer_.SendTo(chosen, "to the chosen port"));
  ASSERT_TRUE(WaitUntil([&] { return udp_->InputCount() == 18; }));
}

TEST_F(TCommunicationUDPClientInterfaceTest, AChangedRemoteHostOrPortAppliesFromTheNextWriteWithoutClosing) {
  const int own = OpenAndFindOwnPort();
  ASSERT_NE(own, 0);
  TUdpPeer other;
  ASSERT_TRUE(other.Ready());
  udp_->SetConfiguration(ToPeer(other));
  // A datagram received after the change shows that the socket has lived
  // through a work cycle since.
  ASSERT_TRUE(other.SendTo(own, "!"));
  ASSERT_TRUE(WaitUntil([&] { return udp_->InputCount() == 1; }));
  EXPECT_TRUE(udp_->GetActive());
  EXPECT_EQ(udp_->WriteString("second"), 6);
  const auto second = other.Receive();
  ASSERT_TRUE(second);
  EXPECT_EQ(second->data, "second");
  EXPECT_EQ(second->fromPort, own);

  // Not an address: writes fail, but the socket stays open for the next host.
  udp_->SetHost("localhost");
  EXPECT_EQ(udp_->WriteString("nowhere"), 0);
  EXPECT_TRUE(udp_->GetActive());
  udp_->SetHost("127.0.0.1");
  EXPECT_EQ(udp_->WriteString("third"), 5);
  const auto third = other.Receive();
  ASSERT_TRUE(third);
  EXPECT_EQ(third->data, "third");
  EXPECT_EQ(third->fromPort, own);
  EXPECT_EQ(log_->ErrorOperations(), (std::vector<std::string>{"InternalWriteString"}));
  EXPECT_EQ(log_->Closed(), 0);
}

TEST_F(TCommunicationUDPClientInterfaceTest, AChangedLocalPortClosesItUntilItIsOpenedAgain) {
  ASSERT_NE(OpenAndFindOwnPort(), 0);
  const int next = FreeUdpPort();
  ASSERT_NE(next, 0);
  udp_->SetConfiguration("provider=UDP_CLIENT;LocalPort=" + std::to_string(next));
  EXPECT_FALSE(udp_->GetActive());
  EXPECT_EQ(log_->Closed(), 0);

  // At once: the close is finished before the open, which binds the new port.
  ASSERT_TRUE(udp_->Open());
  ASSERT_TRUE(peer_.SendTo(next, "new"));
  ASSERT_TRUE(WaitUntil([&] { return udp_->InputCount() == 3; }));
}

TEST_F(TCommunicationUDPClientInterfaceTest, DatagramsArrivingTogetherReachTheBufferInArrivalOrder) {
  const int own = OpenAndFindOwnPort();
  ASSERT_NE(own, 0);
  TUdpPeer stranger;  // not the configured host and port, accepted all the same
  ASSERT_TRUE(peer_.SendTo(own, "one"));
  ASSERT_TRUE(stranger.SendTo(own, "two"));
  ASSERT_TRUE(peer_.SendTo(own, "three"));
  ASSERT_TRUE(WaitUntil([&] { return udp_->InputCount() == 11; }));
  std::string got;
  udp_->ReadString(got);
  EXPECT_EQ(got, "onetwothree");
  EXPECT_EQ(log_->Reads(), (std::vector<std::string>{"one", "two", "three"}));
}

TEST_F(TCommunicationUDPClientInterfaceTest, ABindToAPortInUseFailsToOpenAndLeavesNoSocketToWriteFrom) {
  udp_->SetConfiguration(ToPeer(peer_) + ";LocalIP=127.0.0.1;LocalPort=" + std::to_string(peer_.Port()));
  EXPECT_FALSE(udp_->Open());
  EXPECT_FALSE(udp_->GetActive());
  EXPECT_EQ(udp_->WriteString("stray"), 0);
  EXPECT_EQ(log_->ErrorOperations(), (std::vector<std::string>{"Open", "InternalWriteString"}));
  EXPECT_FALSE(peer_.Receive(100ms).has_value());

  // The next open binds afresh.
  EXPECT_NE(OpenAndFindOwnPort(";LocalPort=0"), 0);
}

TEST_F(TCommunicationUDPClientInterfaceTest, AWriteOnAClosedTransportReportsInternalWriteString) {
  udp_->SetConfiguration(ToPeer(peer_));
  EXPECT_EQ(udp_->WriteString("early"), 0);
  const auto errors = log_->Errors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].operation, "InternalWriteString");
  EXPECT_EQ(errors[0].args, (std::vector<std::string>{"early"}));
  EXPECT_NE(errors[0].code, 0);
}
