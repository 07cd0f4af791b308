#include "transports/inet/uInetSocket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "transports/uLoopbackPeers.h"

using namespace korvan;
using namespace korvan::transport;
using namespace korvan::test;
using namespace korvan::test::loopback;

namespace {

TInetSocketPacket Packet(const std::string& data) { return TInetSocketPacket{"127.0.0.1", 1, data}; }

// What the socket's handlers saw. A handler may also be given something to
// do on the work thread.
class TSocketEvents {
 public:
  struct TError {
    std::string operation, message, className;
  };

  explicit TSocketEvents(TInetSocket& socket) : socket_(socket) {
    socket.SetOnDataReceive(TInetSocketDataReceiveEvent::Bind<&TSocketEvents::OnData>(this));
    socket.SetOnDisconnect(TInetSocketDisconnectEvent::Bind<&TSocketEvents::OnDisconnect>(this));
    socket.SetOnInternalError(TInetSocketInternalErrorEvent::Bind<&TSocketEvents::OnInternalError>(this));
  }
  ~TSocketEvents() {
    socket_.SetOnDataReceive({});
    socket_.SetOnDisconnect({});
    socket_.SetOnInternalError({});
  }

  std::vector<TInetSocketPacket> Packets() {
    std::lock_guard<std::mutex> lock(mutex_);
    return packets_;
  }
  std::string Data() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string all;
    for (const auto& p : packets_) all += p.data;
    return all;
  }
  size_t PacketCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return packets_.size();
  }
  std::vector<TError> Errors() {
    std::lock_guard<std::mutex> lock(mutex_);
    return errors_;
  }
  size_t ErrorCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return errors_.size();
  }
  int Disconnects() const { return disconnects_.load(); }

  // Something more for a handler to do on the work thread, with the sender.
  using TAction = std::function<void(TInetSocketCustom*)>;
  void AlsoOnData(TAction action) { Set(onData_, std::move(action)); }
  void AlsoOnDisconnect(TAction action) { Set(onDisconnect_, std::move(action)); }
  void AlsoOnError(TAction action) { Set(onError_, std::move(action)); }

 private:
  void Set(TAction& slot, TAction action) {
    std::lock_guard<std::mutex> lock(mutex_);
    slot = std::move(action);
  }
  void Run(const TAction& slot, TInetSocketCustom* Sender) {
    TAction action;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      action = slot;
    }
    if (action) action(Sender);
  }
  void OnData(TInetSocketCustom* Sender, const TInetSocketPacket& Packet) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      packets_.push_back(Packet);
    }
    Run(onData_, Sender);
  }
  void OnDisconnect(TInetSocketCustom* Sender) {
    disconnects_.fetch_add(1);
    Run(onDisconnect_, Sender);
  }
  void OnInternalError(TInetSocketCustom* Sender, const std::string& Operation, const std::string& Message,
                       const std::string& ClassName) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      errors_.push_back({Operation, Message, ClassName});
    }
    Run(onError_, Sender);
  }

  TAction onData_, onDisconnect_, onError_;

  TInetSocket& socket_;
  std::mutex mutex_;
  std::vector<TInetSocketPacket> packets_;
  std::vector<TError> errors_;
  std::atomic<int> disconnects_{0};
};

// A stream socket connected to a loopback listener, with the accepted end.
class TInetSocketStream : public ::testing::Test {
 protected:
  void Connect() {
    ASSERT_TRUE(listener_.Ready());
    socket_.SetRemoteHost("127.0.0.1");
    socket_.SetRemotePort(listener_.Port());
    ASSERT_TRUE(socket_.Connect(2000));
    peer_ = listener_.Accept();
    ASSERT_TRUE(peer_.Valid());
  }

  TLoopbackListener listener_;
  TInetSocket socket_;
  TSocketEvents events_{socket_};
  TFd peer_;
};

// A datagram socket bound to a loopback port of its own.
class TInetSocketDatagram : public ::testing::Test {
 protected:
  void Bind() {
    port_ = FreeUdpPort();
    ASSERT_NE(port_, 0);
    socket_.SetKind(InetSocketDatagram);
    socket_.SetLocalAddress("127.0.0.1");
    socket_.SetLocalPort(port_);
    ASSERT_TRUE(socket_.Bind());
  }

  TInetSocket socket_;
  TSocketEvents events_{socket_};
  int port_ = 0;
};

}  // namespace

// ---- Packet queue -------------------------------------------------------------

TEST(TInetSocketPacketQueue, KeepsOnlyTheNewestPacketsUpToItsMaximum) {
  TInetSocketPacketQueue queue;
  for (const char* d : {"1", "2", "3", "4", "5"}) queue.Push(Packet(d));
  EXPECT_EQ(queue.Count(), 5);  // no limit at first

  queue.SetMaximum(3);
  EXPECT_EQ(queue.Count(), 3);
  queue.Push(Packet("6"));
  std::vector<std::string> order;
  TInetSocketPacket p;
  while (queue.Pop(p)) order.push_back(p.data);
  EXPECT_EQ(order, (std::vector<std::string>{"4", "5", "6"}));
  EXPECT_FALSE(queue.Pop(p));

  queue.SetMaximum(-1);
  for (int i = 0; i < 10; ++i) queue.Push(Packet("x"));
  EXPECT_EQ(queue.Count(), 10);
}

TEST(TInetSocketPacketQueue, AMaximumOfZeroEmptiesTheQueueAndStoresNothing) {
  TInetSocketPacketQueue queue;
  queue.Push(Packet("a"));
  queue.Push(Packet("b"));
  queue.SetMaximum(0);
  EXPECT_EQ(queue.Count(), 0);
  queue.Push(Packet("c"));
  EXPECT_EQ(queue.Count(), 0);
  TInetSocketPacket p;
  EXPECT_FALSE(queue.Pop(p));
}

// ---- Stream sockets ----------------------------------------------------------

TEST_F(TInetSocketStream, CarriesDataBothWaysAndReportsThePeerAsSender) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  EXPECT_TRUE(socket_.IsConnected());

  ASSERT_TRUE(socket_.Send("request"));
  EXPECT_EQ(ReceiveBytes(peer_.Get(), 7), "request");

  ASSERT_TRUE(SendAll(peer_.Get(), "answer"));
  ASSERT_TRUE(WaitUntil([&] { return events_.Data() == "answer"; }));
  const auto packets = events_.Packets();
  EXPECT_EQ(packets.front().host, "127.0.0.1");
  EXPECT_EQ(packets.front().port, listener_.Port());
  EXPECT_EQ(socket_.QueueCount(), static_cast<int>(packets.size()));

  EXPECT_TRUE(socket_.Close(false));
  EXPECT_FALSE(socket_.IsConnected());
  EXPECT_TRUE(WaitForEndOfStream(peer_.Get()));
  EXPECT_EQ(events_.Disconnects(), 0);  // a close by the owner is not a disconnect
}

TEST_F(TInetSocketStream, AHostNameIsNotResolvedSoConnectFails) {
  ASSERT_TRUE(listener_.Ready());
  socket_.SetRemoteHost("localhost");
  socket_.SetRemotePort(listener_.Port());
  EXPECT_FALSE(socket_.Connect(2000));
  EXPECT_FALSE(socket_.IsConnected());
  EXPECT_FALSE(listener_.HasPending());
}

TEST_F(TInetSocketStream, ARefusedConnectFailsAtOnce) {
  TRefusingPort refusing;
  socket_.SetRemoteHost("127.0.0.1");
  socket_.SetRemotePort(refusing.Port());
  const auto start = Clock::now();
  EXPECT_FALSE(socket_.Connect(5000));
  EXPECT_EQ(InetSocketLastError(), ECONNREFUSED);
  EXPECT_LT(MsSince(start), 2000);
}

TEST_F(TInetSocketStream, AConnectNobodyAnswersGivesUpAtItsTimeOutWithETIMEDOUT) {
  TFullBacklogListener silent;
  ASSERT_TRUE(silent.Ready());
  socket_.SetRemoteHost("127.0.0.1");
  socket_.SetRemotePort(silent.Port());
  const auto start = Clock::now();
  EXPECT_FALSE(socket_.Connect(300));
  const int error = InetSocketLastError();
  const long long elapsed = MsSince(start);
  EXPECT_EQ(error, ETIMEDOUT);
  EXPECT_GE(elapsed, 250);
  EXPECT_LT(elapsed, 5000);  // far from the kernel's own minutes
  EXPECT_FALSE(socket_.IsConnected());

  // The abandoned socket is gone; the next connect starts afresh.
  socket_.SetRemotePort(listener_.Port());
  ASSERT_NO_FATAL_FAILURE(Connect());
  EXPECT_TRUE(socket_.IsConnected());
}

TEST_F(TInetSocketStream, AGracefulCloseMakesALongConnectOnAnotherThreadReturnPromptly) {
  TFullBacklogListener silent;
  ASSERT_TRUE(silent.Ready());
  socket_.SetRemoteHost("127.0.0.1");
  socket_.SetRemotePort(silent.Port());
  std::atomic<bool> done{false};
  std::atomic<bool> result{true};
  Clock::time_point returned;
  std::thread connecting([&] {
    result.store(socket_.Connect(10000));
    returned = Clock::now();
    done.store(true);
  });
  const bool pending = WaitUntil([&] { return ConnectPendingTo(silent.Port()); });
  const auto closedAt = Clock::now();
  socket_.Close(true);
  const bool ended = WaitUntil([&] { return done.load(); }, 15s);
  connecting.join();
  ASSERT_TRUE(pending);
  ASSERT_TRUE(ended);
  EXPECT_FALSE(result.load());
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(returned - closedAt).count(), 2000);
  EXPECT_FALSE(socket_.IsConnected());
  EXPECT_FALSE(ConnectPendingTo(silent.Port()));
}

TEST_F(TInetSocketStream, AGracefulCloseAlsoEndsAConnectWithoutTimeOut) {
  TFullBacklogListener silent;
  ASSERT_TRUE(silent.Ready());
  socket_.SetRemoteHost("127.0.0.1");
  socket_.SetRemotePort(silent.Port());
  std::atomic<bool> done{false};
  std::atomic<bool> result{true};
  std::thread connecting([&] {
    result.store(socket_.Connect(-1));  // as long as the kernel would try
    done.store(true);
  });
  const bool pending = WaitUntil([&] { return ConnectPendingTo(silent.Port()); });
  socket_.Close(true);
  const bool ended = WaitUntil([&] { return done.load(); }, 5s);
  if (!ended) socket_.Close(true);  // one more try, so that the thread can be joined
  connecting.join();
  ASSERT_TRUE(pending);
  EXPECT_TRUE(ended);
  EXPECT_FALSE(result.load());
}

TEST_F(TInetSocketStream, ChangingTheRemotePortOfAConnectedSocketClosesItAndTheNextConnectUsesTheNewPort) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  TLoopbackListener other;
  ASSERT_TRUE(other.Ready());
  socket_.SetRemotePort(other.Port());
  EXPECT_TRUE(WaitUntil([&] { return !socket_.IsConnected(); }, 1s));
  EXPECT_TRUE(WaitForEndOfStream(peer_.Get()));
  EXPECT_TRUE(WaitUntil([&] { return events_.Disconnects() == 1; }));

  ASSERT_TRUE(socket_.Connect(2000));
  TFd second = other.Accept();
  ASSERT_TRUE(second.Valid());
  ASSERT_TRUE(socket_.Send("here"));
  EXPECT_EQ(ReceiveBytes(second.Get(), 4), "here");
  EXPECT_FALSE(listener_.HasPending());
}

TEST_F(TInetSocketStream, ChangingTheRemoteHostOfAConnectedSocketClosesIt) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  socket_.SetRemoteHost("127.1");  // another text for the same loopback address
  EXPECT_TRUE(WaitUntil([&] { return !socket_.IsConnected(); }, 1s));
  EXPECT_TRUE(WaitForEndOfStream(peer_.Get()));
}

TEST_F(TInetSocketStream, APeerThatEndsTheStreamClosesTheSocketWithinASecond) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  ASSERT_TRUE(SendAll(peer_.Get(), "last words"));
  peer_.Reset();
  EXPECT_TRUE(WaitUntil([&] { return !socket_.IsConnected(); }, 1s));
  EXPECT_EQ(events_.Data(), "last words");  // what came before the end is still delivered
  EXPECT_TRUE(WaitUntil([&] { return events_.Disconnects() == 1; }));
  EXPECT_FALSE(socket_.Send("anyone?"));
}

TEST_F(TInetSocketStream, ADataHandlerThatCallsItsOwnSocketIsReportedAsDoDataReceive) {
  events_.AlsoOnData([](TInetSocketCustom* sender) { sender->Send("echo"); });
  ASSERT_NO_FATAL_FAILURE(Connect());
  ASSERT_TRUE(SendAll(peer_.Get(), "one"));
  ASSERT_TRUE(WaitUntil([&] { return events_.ErrorCount() == 1; }));
  const auto error = events_.Errors().front();
  EXPECT_EQ(error.operation, "DoDataReceive");
  EXPECT_EQ(error.message, "Access to InetSocket by WorkThread denied!");
  EXPECT_EQ(error.className, "EInetSocketAccessByWorkThreadDenied");

  // Nothing was sent from the handler, and the socket carries on.
  events_.AlsoOnData(nullptr);
  ASSERT_TRUE(SendAll(peer_.Get(), "two"));
  ASSERT_TRUE(WaitUntil([&] { return events_.Data() == "onetwo"; }));
  EXPECT_TRUE(socket_.IsConnected());
  ASSERT_TRUE(socket_.Send("ok"));
  EXPECT_EQ(ReceiveBytes(peer_.Get(), 2), "ok");
  EXPECT_EQ(events_.ErrorCount(), 1u);
}

TEST_F(TInetSocketStream, ADisconnectHandlerThatCallsItsOwnSocketIsReportedAsDoInternalClose) {
  events_.AlsoOnDisconnect([](TInetSocketCustom* sender) { sender->IsConnected(); });
  ASSERT_NO_FATAL_FAILURE(Connect());
  peer_.Reset();
  ASSERT_TRUE(WaitUntil([&] { return events_.ErrorCount() == 1; }));
  EXPECT_EQ(events_.Errors().front().operation, "DoInternalClose");
  EXPECT_EQ(events_.Errors().front().message, "Access to InetSocket by WorkThread denied!");
  EXPECT_FALSE(socket_.IsConnected());
}

TEST_F(TInetSocketStream, AnInternalErrorHandlerThatFailsIsCalledOnceMoreWithDoInternalError) {
  events_.AlsoOnData([](TInetSocketCustom* sender) { sender->IsConnected(); });
  events_.AlsoOnError([](TInetSocketCustom* sender) { sender->IsConnected(); });
  ASSERT_NO_FATAL_FAILURE(Connect());
  ASSERT_TRUE(SendAll(peer_.Get(), "x"));
  ASSERT_TRUE(WaitUntil([&] { return events_.ErrorCount() == 2; }));
  const auto errors = events_.Errors();
  EXPECT_EQ(errors[0].operation, "DoDataReceive");
  EXPECT_EQ(errors[1].operation, "DoInternalError");
  EXPECT_EQ(errors[1].message, "Access to InetSocket by WorkThread denied!");

  // The second failure is swallowed and the work thread goes on.
  events_.AlsoOnData(nullptr);
  ASSERT_TRUE(SendAll(peer_.Get(), "y"));
  ASSERT_TRUE(WaitUntil([&] { return events_.Data() == "xy"; }));
  EXPECT_EQ(events_.ErrorCount(), 2u);
}

TEST_F(TInetSocketStream, CallsFromOtherThreadsAreNotHeldToTheWorkThreadRule) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  std::atomic<bool> connected{false};
  std::thread other([&] { connected.store(socket_.IsConnected()); });
  other.join();
  EXPECT_TRUE(connected.load());
  EXPECT_EQ(events_.ErrorCount(), 0u);
}

// ---- Datagram sockets ----------------------------------------------------------

TEST_F(TInetSocketDatagram, DeliversEachDatagramWithItsSenderFromAnySender) {
  ASSERT_NO_FATAL_FAILURE(Bind());
  TUdpPeer a, b;
  ASSERT_TRUE(a.Ready() && b.Ready());
  ASSERT_TRUE(a.SendTo(port_, "from a"));
  ASSERT_TRUE(WaitUntil([&] { return events_.PacketCount() == 1; }));
  ASSERT_TRUE(b.SendTo(port_, "from b"));
  ASSERT_TRUE(WaitUntil([&] { return events_.PacketCount() == 2; }));
  const auto packets = events_.Packets();
  EXPECT_EQ(packets[0].data, "from a");
  EXPECT_EQ(packets[0].host, "127.0.0.1");
  EXPECT_EQ(packets[0].port, a.Port());
  EXPECT_EQ(packets[1].data, "from b");
  EXPECT_EQ(packets[1].port, b.Port());
}

TEST_F(TInetSocketDatagram, AnEmptyDatagramDoesNotHoldUpTheDatagramsBehindIt) {
  ASSERT_NO_FATAL_FAILURE(Bind());
  TUdpPeer peer;
  ASSERT_TRUE(peer.SendTo(port_, ""));
  ASSERT_TRUE(peer.SendTo(port_, "behind"));
  ASSERT_TRUE(WaitUntil([&] { return events_.PacketCount() == 1; }, 2s));
  EXPECT_EQ(events_.Data(), "behind");  // nothing to deliver for the empty one
}

TEST_F(TInetSocketDatagram, AQueueMaximumOfZeroKeepsNothingAndThreeKeepsThree) {
  ASSERT_NO_FATAL_FAILURE(Bind());
  TUdpPeer peer;
  socket_.SetQueueMaximum(0);
  ASSERT_TRUE(peer.SendTo(port_, "lost"));
  ASSERT_TRUE(WaitUntil([&] { return events_.PacketCount() == 1; }));
  EXPECT_EQ(socket_.QueueCount(), 0);  // the handler still gets every packet

  socket_.SetQueueMaximum(3);
  for (const char* d : {"1", "2", "3", "4", "5"}) ASSERT_TRUE(peer.SendTo(port_, d));
  ASSERT_TRUE(WaitUntil([&] { return events_.PacketCount() == 6; }));
  EXPECT_EQ(socket_.QueueCount(), 3);
}

TEST_F(TInetSocketDatagram, ChangingTheRemoteHostOrPortRedirectsTheNextSendWithoutClosing) {
  ASSERT_NO_FATAL_FAILURE(Bind());
  TUdpPeer a, b;
  socket_.SetRemoteHost("127.0.0.1");
  socket_.SetRemotePort(a.Port());
  ASSERT_TRUE(socket_.Send("to a"));
  const auto first = a.Receive();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->data, "to a");
  EXPECT_EQ(first->fromPort, port_);

  socket_.SetRemotePort(b.Port());
  // A datagram delivered after the change proves that a work cycle has run
  // since, with the socket still bound.
  ASSERT_TRUE(a.SendTo(port_, "still there?"));
  ASSERT_TRUE(WaitUntil([&] { return events_.PacketCount() == 1; }));
  EXPECT_TRUE(socket_.IsBound());
  ASSERT_TRUE(socket_.Send("to b"));
  const auto second = b.Receive();
  ASSERT_TRUE(second);
  EXPECT_EQ(second->data, "to b");
  EXPECT_EQ(second->fromPort, port_);

  socket_.SetRemoteHost("127.1");  // the same loopback address in other words
  ASSERT_TRUE(b.SendTo(port_, "and now?"));
  ASSERT_TRUE(WaitUntil([&] { return events_.PacketCount() == 2; }));
  EXPECT_TRUE(socket_.IsBound());
  ASSERT_TRUE(socket_.Send("again b"));
  const auto third = b.Receive();
  ASSERT_TRUE(third);
  EXPECT_EQ(third->data, "again b");
  EXPECT_EQ(events_.Disconnects(), 0);
}

TEST_F(TInetSocketDatagram, ChangingTheLocalPortClosesItAndTheNextBindUsesTheNewPort) {
  ASSERT_NO_FATAL_FAILURE(Bind());
  const int next = FreeUdpPort();
  ASSERT_NE(next, 0);
  socket_.SetLocalPort(next);
  EXPECT_TRUE(WaitUntil([&] { return !socket_.IsBound(); }, 1s));
  EXPECT_TRUE(WaitUntil([&] { return events_.Disconnects() == 1; }));

  ASSERT_TRUE(socket_.Bind());
  TUdpPeer peer;
  ASSERT_TRUE(peer.SendTo(next, "new port"));
  ASSERT_TRUE(WaitUntil([&] { return events_.Data() == "new port"; }));
}

TEST_F(TInetSocketDatagram, ABindToAPortInUseFails) {
  TUdpPeer holder;
  socket_.SetKind(InetSocketDatagram);
  socket_.SetLocalAddress("127.0.0.1");
  socket_.SetLocalPort(holder.Port());
  EXPECT_FALSE(socket_.Bind());
  EXPECT_EQ(InetSocketLastError(), EADDRINUSE);
  EXPECT_FALSE(socket_.IsBound());
}
