#include "comm/uCI_CommunicationInterface.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "comm/uCI_InternalBufferCommunicationInterface.h"
#include "comm/uSynchronizer.h"
#include "support/TLoopbackTransport.h"
#include "support/TWait.h"

using korvan::test::WaitUntil;

using korvan::CreateObject;
using korvan::EMultiReadExclusiveWriteSynchronizerExtendedException;
using korvan::TRef;
using korvan::test::TLoopbackTransport;
using korvan::transport::ICommunicationInterface;
using korvan::transport::TCINotifyErrorEvent;
using korvan::transport::TCINotifyEvent;
using korvan::transport::TCINotifyStringEvent;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

struct TError {
  ICommunicationInterface* Sender;
  std::string Operation;
  std::vector<std::string> Args;
  int Code;
};

// Subscribes to every notification of one transport, without a queue, so
// handlers run in the notifying thread.
class TTransportListener {
 public:
  explicit TTransportListener(TLoopbackTransport* transport) : transport_(transport) {
    transport->GetOpenedSlots()->Subscribe(
        TCINotifyEvent::Bind<&TTransportListener::OnOpened>(this), nullptr, nullptr);
    transport->GetClosedSlots()->Subscribe(
        TCINotifyEvent::Bind<&TTransportListener::OnClosed>(this), nullptr, nullptr);
    transport->GetDataReadSlots()->Subscribe(
        TCINotifyStringEvent::Bind<&TTransportListener::OnRead>(this), nullptr, nullptr);
    transport->GetDataWrittenSlots()->Subscribe(
        TCINotifyStringEvent::Bind<&TTransportListener::OnWritten>(this), nullptr, nullptr);
    transport->GetConfigurationSlots()->Subscribe(
        TCINotifyStringEvent::Bind<&TTransportListener::OnConfiguration>(this), nullptr, nullptr);
    transport->GetErrorSlots()->Subscribe(
        TCINotifyErrorEvent::Bind<&TTransportListener::OnError>(this), nullptr, nullptr);
  }

  void OnOpened(ICommunicationInterface* Sender) {
    Record(Sender);
    std::lock_guard<std::mutex> lock(mutex_);
    ++opened;
    openedUnderLock = transport_->Locked();
    if (throwIn == "opened") throw std::runtime_error("opened handler");
  }
  void OnClosed(ICommunicationInterface* Sender) {
    Record(Sender);
    std::lock_guard<std::mutex> lock(mutex_);
    ++closed;
    closedUnderLock = transport_->Locked();
    if (throwIn == "closed") throw std::runtime_error("closed handler");
  }
  void OnRead(ICommunicationInterface* Sender, const std::string& Data) {
    Record(Sender);
    std::lock_guard<std::mutex> lock(mutex_);
    read.push_back(Data);
    readThread = std::this_thread::get_id();
    if (throwIn == "read") throw std::runtime_error("read handler");
  }
  void OnWritten(ICommunicationInterface* Sender, const std::string& Data) {
    Record(Sender);
    std::lock_guard<std::mutex> lock(mutex_);
    written.push_back(Data);
    if (throwIn == "written") throw std::runtime_error("written handler");
  }
  void OnConfiguration(ICommunicationInterface* Sender, const std::string& Text) {
    Record(Sender);
    std::lock_guard<std::mutex> lock(mutex_);
    configurations.push_back(Text);
    if (throwIn == "configuration") throw std::runtime_error("configuration handler");
  }
  void OnError(ICommunicationInterface* Sender, const std::string& Operation,
               const std::vector<std::string>& Args, int Code) {
    std::lock_guard<std::mutex> lock(mutex_);
    errors.push_back({Sender, Operation, Args, Code});
  }

  std::vector<std::string> ErrorOperations() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> names;
    for (const TError& e : errors) names.push_back(e.Operation);
    return names;
  }
  std::vector<std::string> Read() {
    std::lock_guard<std::mutex> lock(mutex_);
    return read;
  }
  std::vector<ICommunicationInterface*> Senders() {
    std::lock_guard<std::mutex> lock(mutex_);
    return senders_;
  }

  std::mutex mutex_;
  std::string throwIn;
  int opened = 0;
  int closed = 0;
  bool openedUnderLock = false;
  bool closedUnderLock = false;
  std::vector<std::string> read;
  std::thread::id readThread;
  std::vector<std::string> written;
  std::vector<std::string> configurations;
  std::vector<TError> errors;

 private:
  void Record(ICommunicationInterface* Sender) {
    std::lock_guard<std::mutex> lock(mutex_);
    senders_.push_back(Sender);
  }

  TLoopbackTransport* transport_;
  std::vector<ICommunicationInterface*> senders_;
};

// Bytes that differ along the string, so a cut in the wrong place shows.
std::string Pattern(size_t size, int seed) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 7 + seed) % 251);
  return s;
}

class TransportBase : public ::testing::Test {
 protected:
  // The transport's thread may still be in a handler of the listener.
  void TearDown() override { transport->Stop(); }

  TRef<TLoopbackTransport> transport = CreateObject<TLoopbackTransport>();
  TTransportListener listener{transport.get()};
  ICommunicationInterface* self = transport.get();
};

TEST_F(TransportBase, OpensAndClosesWithNotificationsRaisedUnderItsLock) {
  EXPECT_TRUE(transport->Open());
  EXPECT_TRUE(transport->GetActive());
  EXPECT_EQ(listener.opened, 1);
  EXPECT_TRUE(listener.openedUnderLock);

  EXPECT_TRUE(transport->Close(false));
  EXPECT_FALSE(transport->GetActive());
  EXPECT_EQ(listener.closed, 1);
  EXPECT_TRUE(listener.closedUnderLock);
  EXPECT_FALSE(transport->LastCloseForced());
  for (ICommunicationInterface* sender : listener.Senders()) EXPECT_EQ(sender, self);
  EXPECT_TRUE(listener.errors.empty());
}

TEST_F(TransportBase, OpenOnAnOpenTransportSucceedsWithoutAnotherNotification) {
  ASSERT_TRUE(transport->Open());
  EXPECT_TRUE(transport->Open());
  EXPECT_EQ(transport->InternalOpenCalls(), 1);
  EXPECT_EQ(listener.opened, 1);
}

TEST_F(TransportBase, UnforcedCloseOfAClosedTransportDoesNotReachTheTransport) {
  EXPECT_TRUE(transport->Close(false));
  EXPECT_EQ(transport->InternalCloseCalls(), 0);
  EXPECT_EQ(listener.closed, 0);
}

TEST_F(TransportBase, ForcedCloseAlwaysReachesTheTransport) {
  EXPECT_TRUE(transport->Close(true));
  EXPECT_EQ(transport->InternalCloseCalls(), 1);
  EXPECT_TRUE(transport->LastCloseForced());
  EXPECT_EQ(listener.closed, 1);
  EXPECT_FALSE(transport->Closing());
}

TEST_F(TransportBase, SetActiveOpensAndClosesOnlyOnAChange) {
  transport->SetActive(true);
  transport->SetActive(true);
  EXPECT_EQ(transport->InternalOpenCalls(), 1);
  transport->SetActive(false);
  transport->SetActive(false);
  EXPECT_EQ(transport->InternalCloseCalls(), 1);
  EXPECT_FALSE(transport->LastCloseForced());
}

TEST_F(TransportBase, FailedOpenAndCloseAreReportedAsErrorsNotNotifications) {
  transport->SetOpenResult(false);
  EXPECT_FALSE(transport->Open());
  EXPECT_EQ(listener.opened, 0);

  transport->SetCloseResult(false);
  EXPECT_FALSE(transport->Close(true));
  EXPECT_EQ(listener.closed, 0);

  ASSERT_EQ(listener.errors.size(), 2u);
  EXPECT_EQ(listener.errors[0].Operation, "Open");
  EXPECT_EQ(listener.errors[1].Operation, "Close");
  for (const TError& e : listener.errors) {
    EXPECT_EQ(e.Sender, self);
    EXPECT_TRUE(e.Args.empty());
    EXPECT_EQ(e.Code, 0);
  }
}

TEST_F(TransportBase, SetConfigurationReportsTheStringOrAnErrorCarryingIt) {
  transport->SetConfiguration("provider=LOOPBACK;a=1");
  EXPECT_EQ(listener.configurations, std::vector<std::string>{"provider=LOOPBACK;a=1"});
  EXPECT_TRUE(listener.errors.empty());

  transport->SetConfigurationResult(false);
  transport->SetConfiguration("provider=LOOPBACK;a=(");
  EXPECT_EQ(listener.configurations.size(), 1u);
  ASSERT_EQ(listener.errors.size(), 1u);
  EXPECT_EQ(listener.errors[0].Sender, self);
  EXPECT_EQ(listener.errors[0].Operation, "SetConfiguration");
  EXPECT_EQ(listener.errors[0].Args, std::vector<std::string>{"provider=LOOPBACK;a=("});
  EXPECT_EQ(listener.errors[0].Code, 0);
}

TEST_F(TransportBase, AThrowingHandlerIsReportedUnderItsNotificationsName) {
  listener.throwIn = "opened";
  EXPECT_TRUE(transport->Open());
  listener.throwIn = "written";
  EXPECT_EQ(transport->WriteString("abc"), 3);
  listener.throwIn = "configuration";
  transport->SetConfiguration("provider=LOOPBACK");
  listener.throwIn = "closed";
  EXPECT_TRUE(transport->Close(false));
  listener.throwIn = "read";
  transport->Receive("x");
  ASSERT_TRUE(transport->WaitIdle());

  EXPECT_EQ(listener.ErrorOperations(),
            (std::vector<std::string>{"DoOpen", "DoWriteString", "DoConfigurationChange", "DoClose",
                                      "DoReadString"}));
  std::lock_guard<std::mutex> lock(listener.mutex_);
  ASSERT_EQ(listener.errors.size(), 5u);
  EXPECT_EQ(listener.errors[2].Args, std::vector<std::string>{"provider=LOOPBACK"});
  EXPECT_TRUE(listener.errors[0].Args.empty());
  EXPECT_TRUE(listener.errors[4].Args.empty());
}

TEST_F(TransportBase, WriteStringNotifiesTheDataAndReadStringDoesNot) {
  ASSERT_TRUE(transport->Open());
  EXPECT_EQ(transport->WriteString(std::string("a\0b", 3)), 3);
  EXPECT_EQ(transport->Written(), std::vector<std::string>{std::string("a\0b", 3)});
  EXPECT_EQ(listener.written, std::vector<std::string>{std::string("a\0b", 3)});

  transport->Receive("xyz");
  ASSERT_TRUE(transport->WaitIdle());
  EXPECT_EQ(listener.Read(), std::vector<std::string>{"xyz"});
  EXPECT_EQ(listener.readThread, transport->ReceiveThreadId());

  std::string data;
  transport->ReadString(data);
  EXPECT_EQ(data, "xyz");
  EXPECT_EQ(listener.Read().size(), 1u);
}

TEST_F(TransportBase, TheBufferKeepsTheNewestBytesUpToItsCapacity) {
  ASSERT_EQ(transport->Capacity(), 100000);
  const std::string first = Pattern(60000, 1);
  const std::string second = Pattern(60000, 2);
  transport->Receive(first);
  transport->Receive(second);
  ASSERT_TRUE(transport->WaitIdle());
  EXPECT_EQ(transport->InputCount(), 100000);

  std::string data;
  transport->ReadString(data);
  EXPECT_TRUE(data == (first + second).substr(20000)) << "the first 20000 bytes should be gone";
  EXPECT_EQ(transport->InputCount(), 0);
  // Each chunk is still announced whole.
  ASSERT_EQ(listener.Read().size(), 2u);
  EXPECT_EQ(listener.Read()[1].size(), 60000u);
}

TEST_F(TransportBase, ACapacityOfZeroKeepsNothingButStillAnnouncesTheData) {
  transport->SetCapacity(0);
  transport->Receive("abc");
  ASSERT_TRUE(transport->WaitIdle());
  EXPECT_EQ(transport->InputCount(), 0);
  EXPECT_EQ(listener.Read(), std::vector<std::string>{"abc"});
}

TEST_F(TransportBase, ClearInputEmptiesTheBuffer) {
  transport->Receive("abc");
  ASSERT_TRUE(transport->WaitIdle());
  ASSERT_EQ(transport->InputCount(), 3);
  transport->ClearInput();
  EXPECT_EQ(transport->InputCount(), 0);
}

TEST_F(TransportBase, SendAndReceiveOnAClosedTransportNotifiesTheRequestButWritesNothing) {
  std::string response = "stale";
  const auto start = Clock::now();
  transport->SendAndReceive("req", 10000, 50, 20000, false, false, nullptr, "", response);
  EXPECT_LT(Clock::now() - start, 3000ms);  // not the 10 s time-out
  EXPECT_EQ(response, "");
  EXPECT_EQ(listener.written, std::vector<std::string>{"req"});
  EXPECT_TRUE(transport->Written().empty());
}

TEST_F(TransportBase, SendAndReceiveCollectsTheAnswerUntilTheCheckAcceptsIt) {
  transport->SetPeer(
      [](const std::string& written) { return written == "ping" ? std::string("po") : ""; });
  ASSERT_TRUE(transport->Open());
  transport->Receive("stale");
  ASSERT_TRUE(transport->WaitIdle());

  std::vector<std::string> checked;
  bool restSent = false;
  const auto check = [&](const std::string& s) {
    checked.push_back(s);
    if (s == ">po" && !restSent) {
      transport->Receive("ng");  // the rest follows later
      restSent = true;
    }
    return s == ">pong";
  };
  std::string response;
  const auto start = Clock::now();
  transport->SendAndReceive("ping", 5000, 5000, 10000, true, true, check, ">", response);
  EXPECT_LT(Clock::now() - start, 3000ms) << "the check should end the wait";
  EXPECT_EQ(response, "pong");
  EXPECT_EQ(transport->Written(), std::vector<std::string>{"ping"});
  EXPECT_EQ(transport->ClearOutputCalls(), 1);
  EXPECT_EQ(listener.written, std::vector<std::string>{"ping"});
  ASSERT_FALSE(checked.empty());
  EXPECT_EQ(checked.back(), ">pong");
}

TEST_F(TransportBase, SendAndReceiveEndsAtTheGapAfterTheFirstBytes) {
  transport->SetPeer([](const std::string&) { return std::string("ab"); });
  ASSERT_TRUE(transport->Open());
  std::string response;
  const auto start = Clock::now();
  // A generous answer time-out, a short gap: silence after "ab" ends it.
  transport->SendAndReceive("q", 5000, 20, 10000, false, false, nullptr, "", response);
  EXPECT_LT(Clock::now() - start, 3000ms);
  EXPECT_EQ(response, "ab");
}

TEST_F(TransportBase, AForcedCloseFromAnotherThreadEndsAWaitingSendAndReceive) {
  ASSERT_TRUE(transport->Open());
  std::atomic<bool> returned{false};
  Clock::time_point returnedAt;
  std::string response;
  std::thread waiter([&] {
    transport->SendAndReceive("req", 10000, 10000, 20000, false, false, nullptr, "", response);
    returnedAt = Clock::now();
    returned = true;
  });
  ASSERT_TRUE(WaitUntil([&] { return !transport->Written().empty(); }));

  const auto start = Clock::now();
  EXPECT_TRUE(transport->Close(true));
  waiter.join();
  ASSERT_TRUE(returned);
  EXPECT_LT(returnedAt - start, 3000ms) << "far under the 10 s time-out";
  EXPECT_FALSE(transport->GetActive());
  EXPECT_EQ(transport->InternalCloseCalls(), 1);
  EXPECT_TRUE(transport->LastCloseForced());
  EXPECT_EQ(listener.closed, 1);
  EXPECT_FALSE(transport->Closing());
}

TEST_F(TransportBase, LockMisuseNamesTheTransportClass) {
  try {
    transport->EndWrite();
    ADD_FAILURE() << "EndWrite without BeginWrite";
  } catch (const EMultiReadExclusiveWriteSynchronizerExtendedException& e) {
    EXPECT_EQ(e.Code(), 1);
    EXPECT_STREQ(e.what(), "TLoopbackTransport is not locked for writing!");
  }
  try {
    transport->EndRead();
    ADD_FAILURE() << "EndRead without BeginRead";
  } catch (const EMultiReadExclusiveWriteSynchronizerExtendedException& e) {
    EXPECT_EQ(e.Code(), 2);
    EXPECT_STREQ(e.what(), "TLoopbackTransport is not locked for reading!");
  }
  transport->BeginRead();
  try {
    transport->BeginWrite();
    ADD_FAILURE() << "BeginWrite while reading";
  } catch (const EMultiReadExclusiveWriteSynchronizerExtendedException& e) {
    EXPECT_EQ(e.Code(), 0);
    EXPECT_STREQ(e.what(), "TLoopbackTransport is currently locked for reading!");
  }
  transport->EndRead();

  // Nothing is left held: another thread gets the exclusive lock.
  auto opened = std::async(std::launch::async, [&] { return transport->Open(); });
  ASSERT_EQ(opened.wait_for(10s), std::future_status::ready);
  EXPECT_TRUE(opened.get());
}

}  // namespace
