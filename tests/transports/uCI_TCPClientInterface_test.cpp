#include "transports/inet/uCI_TCPClientInterface.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <sys/syscall.h>
#include <unistd.h>
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

std::string Loopback(int port) { return "provider=TCP_CLIENT;host=127.0.0.1;port=" + std::to_string(port); }

// A TCP client transport on its own, with its notifications recorded.
class TCommunicationTCPClientInterfaceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { duomat::StartLibrary(); }

  void SetUp() override {
    ASSERT_TRUE(listener_.Ready());
    log_->Listen(*tcp_);
  }

  // Opens to the listener and takes the accepted end.
  void Open(const std::string& extra = "") {
    tcp_->SetConfiguration(Loopback(listener_.Port()) + extra);
    ASSERT_TRUE(tcp_->Open());
    peer_ = listener_.Accept();
    ASSERT_TRUE(peer_.Valid());
  }

  TLoopbackListener listener_;
  TRef<TCommunicationTCPClientInterface> tcp_ = CreateObject<TCommunicationTCPClientInterface>();
  TRef<TTransportLog> log_ = CreateObject<TTransportLog>();
  TFd peer_;
};

// The TCP client as the program gets it: a wrapper made from a string.
class TCPClientThroughTheWrapper : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { duomat::StartLibrary(); }

  void Create(const std::string& connectionString) {
    ASSERT_TRUE(CreateCommunicationInterface(connectionString, wrapper_));
    auto* w = Supports<ci::ICommunicationWrapperInterface>(wrapper_);
    ASSERT_NE(w, nullptr);
    transport_ = w->GetTransport();
    tcp_ = dynamic_cast<TCommunicationTCPClientInterface*>(transport_.get());
    ASSERT_NE(tcp_, nullptr);
  }

  TRef<ci::ICommunicationInterface> wrapper_;
  TRef<ICommunicationInterface> transport_;
  TCommunicationTCPClientInterface* tcp_ = nullptr;
};

}  // namespace

// ---- Settings and strings ------------------------------------------------------

TEST_F(TCPClientThroughTheWrapper, WritesItsSettingsWithKeepAliveAsTenTimesTheProbeInterval) {
  Create("provider=TCP_CLIENT;host=127.0.0.1;port=10001");
  EXPECT_EQ(wrapper_->GetConfiguration(),
            "provider=TCP_CLIENT;host=127.0.0.1;port=10001;LocalIP=0.0.0.0;LocalPort=0;ConnectionTimeout=5000;"
            "KeepAlive=10000");
  EXPECT_EQ(wrapper_->GetIdentity(), "provider=TCP_CLIENT;host=127.0.0.1;port=10001");
  EXPECT_EQ(tcp_->GetConnectionTimeout(), 5000);
  EXPECT_TRUE(tcp_->GetKeepAliveOn());
  EXPECT_EQ(tcp_->GetKeepAliveTime(), 5000u);
  EXPECT_EQ(tcp_->GetKeepAliveInterval(), 1000u);

  // Read back, the written value becomes the idle time.
  wrapper_->SetConfiguration(wrapper_->GetConfiguration());
  EXPECT_EQ(tcp_->GetKeepAliveTime(), 10000u);
  EXPECT_EQ(tcp_->GetKeepAliveInterval(), 1000u);
  EXPECT_FALSE(wrapper_->GetActive());
}

TEST_F(TCPClientThroughTheWrapper, KeepAliveZeroTurnsKeepAliveOffAndIsWrittenAsZero) {
  Create("provider=TCP_CLIENT;host=127.0.0.1;port=10001;KeepAlive=0");
  EXPECT_FALSE(tcp_->GetKeepAliveOn());
  EXPECT_EQ(wrapper_->GetConfiguration(),
            "provider=TCP_CLIENT;host=127.0.0.1;port=10001;LocalIP=0.0.0.0;LocalPort=0;ConnectionTimeout=5000;"
            "KeepAlive=0");
}

TEST_F(TCPClientThroughTheWrapper, KeepsTheLow16BitsOfThePort) {
  Create("provider=TCP_CLIENT;host=127.0.0.1;port=70000");
  EXPECT_EQ(tcp_->GetPort(), 4464);
  EXPECT_EQ(wrapper_->GetIdentity(), "provider=TCP_CLIENT;host=127.0.0.1;port=4464");
}

TEST_F(TCPClientThroughTheWrapper, ValuesThatAreNotIntegersLeaveTheirSettingsUnchanged) {
  Create("provider=TCP_CLIENT;host=127.0.0.1;port=10001;ConnectionTimeout=300;KeepAlive=2000");
  wrapper_->SetConfiguration("provider=TCP_CLIENT;port=ten;ConnectionTimeout=soon;KeepAlive=often;LocalPort=x");
  EXPECT_EQ(wrapper_->GetConfiguration(),
            "provider=TCP_CLIENT;host=127.0.0.1;port=10001;LocalIP=0.0.0.0;LocalPort=0;ConnectionTimeout=300;"
            "KeepAlive=10000");
  EXPECT_EQ(tcp_->GetKeepAliveTime(), 2000u);
}

// ---- Connecting ------------------------------------------------------------------

TEST_F(TCommunicationTCPClientInterfaceTest, OpensToALoopbackPeerAndCarriesDataBothWays) {
  ASSERT_NO_FATAL_FAILURE(Open());
  EXPECT_TRUE(tcp_->GetActive());
  EXPECT_EQ(log_->Opened(), 1);
  EXPECT_TRUE(tcp_->GetKeepAliveOn());  // applying it to the new connection worked

  EXPECT_EQ(tcp_->WriteString("request"), 7);
  EXPECT_EQ(ReceiveBytes(peer_.Get(), 7), "request");

  ASSERT_TRUE(SendAll(peer_.Get(), "answer"));
  ASSERT_TRUE(WaitUntil([&] { return tcp_->InputCount() == 6; }));
  std::string got;
  tcp_->ReadString(got);
  EXPECT_EQ(got, "answer");
  EXPECT_EQ(tcp_->InputCount(), 0);
  EXPECT_EQ(log_->Reads(), (std::vector<std::string>{"answer"}));

  // Opening an open transport changes nothing.
  EXPECT_TRUE(tcp_->Open());
  EXPECT_EQ(log_->Opened(), 1);
  EXPECT_FALSE(listener_.HasPending());
}

TEST_F(TCommunicationTCPClientInterfaceTest, ClosingAndOpeningAgainMakesAFreshConnection) {
  ASSERT_NO_FATAL_FAILURE(Open());
  EXPECT_TRUE(tcp_->Close(false));
  EXPECT_FALSE(tcp_->GetActive());
  EXPECT_EQ(log_->Closed(), 1);
  EXPECT_TRUE(WaitForEndOfStream(peer_.Get()));

  ASSERT_NO_FATAL_FAILURE(Open());
  EXPECT_TRUE(tcp_->GetActive());
  EXPECT_EQ(tcp_->WriteString("again"), 5);
  EXPECT_EQ(ReceiveBytes(peer_.Get(), 5), "again");

  // A forced close leaves nothing behind that would spoil the next connect.
  EXPECT_TRUE(tcp_->Close(true));
  EXPECT_EQ(log_->Closed(), 2);
  EXPECT_TRUE(WaitForEndOfStream(peer_.Get()));
  ASSERT_NO_FATAL_FAILURE(Open());
  EXPECT_EQ(tcp_->WriteString("third"), 5);
  EXPECT_EQ(ReceiveBytes(peer_.Get(), 5), "third");
}

TEST_F(TCommunicationTCPClientInterfaceTest, AHostNameInsteadOfAnAddressFailsToOpen) {
  tcp_->SetConfiguration("provider=TCP_CLIENT;host=localhost;port=" + std::to_string(listener_.Port()));
  EXPECT_FALSE(tcp_->Open());
  EXPECT_FALSE(tcp_->GetActive());
  EXPECT_EQ(log_->ErrorOperations(), (std::vector<std::string>{"Open"}));
  EXPECT_EQ(log_->Opened(), 0);
  EXPECT_FALSE(listener_.HasPending());
}

TEST_F(TCommunicationTCPClientInterfaceTest, AnAddressNobodyAnswersFailsAfterTheConnectionTimeOut) {
  TFullBacklogListener silent;
  ASSERT_TRUE(silent.Ready());
  tcp_->SetConfiguration(Loopback(silent.Port()) + ";ConnectionTimeout=300");
  const auto start = Clock::now();
  EXPECT_FALSE(tcp_->Open());
  const int error = InetSocketLastError();
  const long long elapsed = MsSince(start);
  EXPECT_EQ(error, ETIMEDOUT);
  EXPECT_GE(elapsed, 250);
  EXPECT_LT(elapsed, 5000);
  EXPECT_FALSE(tcp_->GetActive());
  EXPECT_EQ(log_->ErrorOperations(), (std::vector<std::string>{"Open"}));
}

TEST_F(TCommunicationTCPClientInterfaceTest, AConnectionTimeOutOfZeroGivesTheConnectNoTime) {
  TFullBacklogListener silent;
  ASSERT_TRUE(silent.Ready());
  tcp_->SetConfiguration(Loopback(silent.Port()) + ";ConnectionTimeout=0");
  const auto start = Clock::now();
  EXPECT_FALSE(tcp_->Open());
  EXPECT_LT(MsSince(start), 2000);  // not the 5000 ms default
  EXPECT_FALSE(tcp_->GetActive());
}

TEST_F(TCommunicationTCPClientInterfaceTest, ARefusedConnectionFailsAtOnce) {
  TRefusingPort refusing;
  tcp_->SetConfiguration(Loopback(refusing.Port()));
  const auto start = Clock::now();
  EXPECT_FALSE(tcp_->Open());
  EXPECT_LT(MsSince(start), 2000);  // not the 5000 ms time-out
  EXPECT_EQ(log_->ErrorOperations(), (std::vector<std::string>{"Open"}));
}

// ---- Losing the connection -----------------------------------------------------

TEST_F(TCommunicationTCPClientInterfaceTest, ChangingThePortOnAnOpenConnectionClosesItWithoutAClosedNotification) {
  ASSERT_NO_FATAL_FAILURE(Open());
  TLoopbackListener other;
  ASSERT_TRUE(other.Ready());
  tcp_->SetConfiguration(Loopback(other.Port()));
  EXPECT_FALSE(tcp_->GetActive());
  EXPECT_TRUE(WaitForEndOfStream(peer_.Get()));
  EXPECT_EQ(log_->Closed(), 0);

  // At once: the open never reports the old connection as the new one.
  ASSERT_TRUE(tcp_->Open());
  TFd second = other.Accept();
  ASSERT_TRUE(second.Valid());
  EXPECT_EQ(tcp_->WriteString("moved"), 5);
  EXPECT_EQ(ReceiveBytes(second.Get(), 5), "moved");
}

TEST_F(TCommunicationTCPClientInterfaceTest, APeerThatClosesTheConnectionMakesItInactiveWithoutAClosedNotification) {
  ASSERT_NO_FATAL_FAILURE(Open());
  peer_.Reset();
  EXPECT_TRUE(WaitUntil([&] { return !tcp_->GetActive(); }, 1s));
  EXPECT_EQ(log_->Closed(), 0);
  EXPECT_TRUE(log_->Errors().empty());
}

TEST_F(TCommunicationTCPClientInterfaceTest, AWriteWithoutAConnectionReportsInternalWriteString) {
  EXPECT_EQ(tcp_->WriteString("lost"), 0);
  const auto errors = log_->Errors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].operation, "InternalWriteString");
  EXPECT_EQ(errors[0].args, (std::vector<std::string>{"lost"}));
  EXPECT_NE(errors[0].code, 0);
}

TEST_F(TCommunicationTCPClientInterfaceTest, DestroyingAnOpenTransportClosesTheConnection) {
  ASSERT_NO_FATAL_FAILURE(Open());
  tcp_ = nullptr;
  EXPECT_EQ(log_->Closed(), 1);
  EXPECT_TRUE(WaitForEndOfStream(peer_.Get()));
}

TEST_F(TCommunicationTCPClientInterfaceTest, AnIdleTimeBeyondWhatTheKernelTakesStillTurnsKeepAliveOn) {
  ASSERT_NO_FATAL_FAILURE(Open(";KeepAlive=40000000"));  // 40000 s, clamped to 32767
  EXPECT_TRUE(tcp_->GetKeepAliveOn());
}

// ---- Nothing blocks for ever -------------------------------------------------------

namespace {
// More than both socket buffers hold while the peer reads nothing (its
// receive buffer does not grow then).
const std::string kFlood(16 * 1024 * 1024, 'f');
}

TEST_F(TCommunicationTCPClientInterfaceTest, APeerThatStopsReadingFailsTheWriteAtItsDeadlineAndClosesIt) {
  ASSERT_NO_FATAL_FAILURE(Open(";ConnectionTimeout=300"));
  const auto start = Clock::now();
  EXPECT_EQ(tcp_->WriteString(kFlood), 0);
  EXPECT_LT(MsSince(start), 5000);
  ASSERT_EQ(log_->ErrorOperations(), (std::vector<std::string>{"InternalWriteString"}));
  EXPECT_EQ(log_->Errors()[0].code, ETIMEDOUT);
  EXPECT_FALSE(tcp_->GetActive());
}

TEST_F(TCommunicationTCPClientInterfaceTest, AForcedCloseEndsAWriteThatWaitsForThePeer) {
  ASSERT_NO_FATAL_FAILURE(Open());  // a 5000 ms deadline
  std::atomic<pid_t> writer{0};
  TBoundedThreads threads;
  threads.Start([&] {
    writer.store(static_cast<pid_t>(syscall(SYS_gettid)));
    EXPECT_EQ(tcp_->WriteString(kFlood), 0);
  });
  ASSERT_TRUE(WaitUntil([&] { return writer.load() != 0 && IsBlocked(writer.load()); }));
  const auto start = Clock::now();
  EXPECT_TRUE(tcp_->Close(true));
  EXPECT_LT(MsSince(start), 2500);  // not the 5000 ms deadline
  threads.JoinAll();
  EXPECT_FALSE(tcp_->GetActive());
}

TEST_F(TCommunicationTCPClientInterfaceTest, AForcedCloseCutsALongConnectShort) {
  TFullBacklogListener silent;
  ASSERT_TRUE(silent.Ready());
  tcp_->SetConfiguration(Loopback(silent.Port()) + ";ConnectionTimeout=10000");
  TBoundedThreads threads;
  threads.Start([&] { EXPECT_FALSE(tcp_->Open()); });
  ASSERT_TRUE(WaitUntil([&] { return ConnectPendingTo(silent.Port()); }));
  const auto start = Clock::now();
  EXPECT_TRUE(tcp_->Close(true));
  threads.JoinAll();
  EXPECT_LT(MsSince(start), 3000);  // not the 10000 ms of the connect
  EXPECT_FALSE(tcp_->GetActive());
}

// ---- Released from its own thread ---------------------------------------------------

namespace {
// Drops a transport's last reference from its data-read handler, that is on
// the socket's work thread.
class TLastReferenceDropper : public TMyInterfacedObject {
 public:
  explicit TLastReferenceDropper(TRef<TCommunicationTCPClientInterface>& last) : last_(last) {}
  void OnRead(ICommunicationInterface*, const std::string&) {
    if (dropped_.load()) return;
    last_ = nullptr;
    dropped_.store(true);
  }
  bool Dropped() const { return dropped_.load(); }

 private:
  TRef<TCommunicationTCPClientInterface>& last_;
  std::atomic<bool> dropped_{false};
};
}  // namespace

TEST_F(TCommunicationTCPClientInterfaceTest, ATransportReleasedForTheLastTimeOnItsWorkThreadGoesSafely) {
  ASSERT_NO_FATAL_FAILURE(Open());
  TRef<TLastReferenceDropper> dropper = CreateObject<TLastReferenceDropper>(tcp_);
  tcp_->GetDataReadSlots()->Subscribe(TCINotifyStringEvent::Bind<&TLastReferenceDropper::OnRead>(dropper.get()),
                                      dropper, nullptr);
  ASSERT_TRUE(SendAll(peer_.Get(), "bye"));
  // Closed as a destroyed transport closes (ASan reports any use of freed memory).
  EXPECT_TRUE(WaitForEndOfStream(peer_.Get()));
  EXPECT_TRUE(dropper->Dropped());
  EXPECT_TRUE(WaitUntil([&] { return log_->Closed() == 1; }));
}
