#include "protocol/uKorvanStack.h"

#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "protocol/uKorvan97.h"
#include "support/TModulePeer.h"

using namespace korvan;
using namespace korvan::test;

namespace {

std::string Frame(uint8_t adr, uint8_t sig, uint8_t code = 0, const std::string& data = {}) {
  return BuildPacket(adr, sig, code, data);
}

std::vector<std::string> Data(const std::vector<TKorvanFormat97>& frames) {
  std::vector<std::string> data;
  for (const auto& f : frames) data.push_back(f.data);
  return data;
}

// An 8-byte frame that passes CheckPacket (length field 4) but is too short to parse.
std::string EightByteFrame() {
  std::string frame = Bytes({0x2A, 0x61, 0x00, 0x04, 0x31, 0x01});
  frame += static_cast<char>(PacketChecksum(frame));
  frame += '\x0D';
  return frame;
}

class TKorvanStackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    line_ = CreateObject<TTestLine>();
    ASSERT_TRUE(line_->Open());
    stack_ = CreateObject<TKorvanStack>();
    stack_->SetCommInterface(line_.get());
  }

  void TearDown() override {
    for (const auto& device : devices_) device->SetStack(nullptr);
    stack_->SetCommInterface(nullptr);
    line_->Stop();
  }

  TRef<TRecordingDevice> AddDevice(uint8_t adr) {
    auto device = CreateObject<TRecordingDevice>(adr);
    device->SetStack(stack_.get());
    devices_.push_back(device);
    return device;
  }

  // Receives the bytes as one chunk and waits until the stack has routed them.
  void Receive(const std::string& bytes) {
    line_->Receive(bytes);
    ASSERT_TRUE(line_->WaitIdle());
  }

  // Answers every request with `answer(request)` in one chunk.
  template <class F>
  void AnswerWith(F answer) {
    line_->SetPeer([answer](const std::string& written) { return answer(ParsePacket(written)); });
  }

  TRef<TTestLine> line_;
  TRef<TKorvanStack> stack_;
  std::vector<TRef<TRecordingDevice>> devices_;
};

TEST_F(TKorvanStackTest, DeliversTwoFramesFromOneChunkInOrder) {
  auto device = AddDevice(0x31);
  Receive(Frame(0x31, 1, 0, "first") + Frame(0x31, 2, 0, "second"));
  EXPECT_EQ(Data(device->Frames()), (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(stack_->BufferedCount(), 0u);
}

TEST_F(TKorvanStackTest, DeliversAFrameSplitOverChunksOnceWhenItsLastByteArrives) {
  auto device = AddDevice(0x31);
  // Data bytes that look like framing must not end or start a frame.
  const std::string frame = Frame(0x31, 7, 0, Bytes({0x0D, 0x2A, 0x61, 0x0D}));
  Receive(frame.substr(0, 1));
  Receive(frame.substr(1, 8));
  EXPECT_EQ(device->FrameCount(), 0u);
  Receive(frame.substr(9));
  ASSERT_EQ(device->FrameCount(), 1u);
  EXPECT_EQ(device->Frames()[0].data, Bytes({0x0D, 0x2A, 0x61, 0x0D}));

  Receive(Frame(0x31, 8, 0, "next"));
  EXPECT_EQ(Data(device->Frames()), (std::vector<std::string>{Bytes({0x0D, 0x2A, 0x61, 0x0D}), "next"}));
}

TEST_F(TKorvanStackTest, DropsNoiseBeforeAFrameAndLosesNothingAfterIt) {
  auto device = AddDevice(0x31);
  // A lone "*", then a false start whose length field reaches far beyond the chunk.
  const std::string noise = Bytes({0x00, 0xFF, 0x2A, 0x13, 0x0D}) + "*a";
  const std::string third = Frame(0x31, 3, 0, "third");
  Receive(noise + Frame(0x31, 1, 0, "first") + Frame(0x31, 2, 0, "second") + third.substr(0, 4));
  EXPECT_EQ(Data(device->Frames()), (std::vector<std::string>{"first", "second"}));
  Receive(third.substr(4));
  EXPECT_EQ(Data(device->Frames()), (std::vector<std::string>{"first", "second", "third"}));
  EXPECT_EQ(stack_->BufferedCount(), 0u);
}

TEST_F(TKorvanStackTest, DropsFramesWithABadChecksumOrTerminatorAndDeliversTheGoodFrameBehind) {
  auto device = AddDevice(0x31);
  std::string badChecksum = Frame(0x31, 1, 0, "bad sum*");
  badChecksum[badChecksum.size() - 2] ^= 0x01;
  std::string badTerminator = Frame(0x31, 2, 0, "bad end");
  badTerminator.back() = 0x0A;
  Receive(badChecksum + Frame(0x31, 3, 0, "good"));
  Receive(badTerminator + Frame(0x31, 4, 0, "also good"));
  EXPECT_EQ(Data(device->Frames()), (std::vector<std::string>{"good", "also good"}));
  EXPECT_EQ(stack_->BufferedCount(), 0u);
}

// Bytes lost on the line: the broken frame's length field reaches into the
// next frame, which must still be found at its own "*".
TEST_F(TKorvanStackTest, AFrameThatLostBytesDoesNotTakeTheNextFrameWithIt) {
  auto device = AddDevice(0x31);
  const std::string broken = Frame(0x31, 1, 0, "lost three");
  Receive(broken.substr(0, broken.size() - 3) + Frame(0x31, 2, 0, "next") + Frame(0x31, 3, 0, "and more"));
  EXPECT_EQ(Data(device->Frames()), (std::vector<std::string>{"next", "and more"}));
  EXPECT_EQ(stack_->BufferedCount(), 0u);
}

TEST_F(TKorvanStackTest, RoutesByAddressAndTheUniversalAddressReachesEveryDevice) {
  auto d31 = AddDevice(0x31);
  auto universal = AddDevice(0xFE);
  auto d32 = AddDevice(0x32);
  Receive(Frame(0x31, 1, 0, "to 31"));
  Receive(Frame(0xFE, 2, 0, "to all"));
  Receive(Frame(0x32, 3, 0, "to 32"));
  EXPECT_EQ(Data(d31->Frames()), (std::vector<std::string>{"to 31", "to all"}));
  EXPECT_EQ(Data(universal->Frames()), (std::vector<std::string>{"to 31", "to all", "to 32"}));
  EXPECT_EQ(Data(d32->Frames()), (std::vector<std::string>{"to all", "to 32"}));
}

TEST_F(TKorvanStackTest, DiscardsAValidFrameThatNoDeviceTakes) {
  auto device = AddDevice(0x31);
  Receive(Frame(0x40, 1, 0, "nobody's"));
  EXPECT_EQ(stack_->BufferedCount(), 0u);
  Receive(Frame(0x40, 2, 0, "nobody's") + Frame(0x31, 3, 0, "mine"));
  EXPECT_EQ(Data(device->Frames()), (std::vector<std::string>{"mine"}));
  EXPECT_EQ(stack_->BufferedCount(), 0u);
}

// A faulty frame raises its error once, after the frames behind it are delivered.
TEST_F(TKorvanStackTest, AFaultyFrameRaisesAfterTheFramesBehindItAreDelivered) {
  auto device = AddDevice(0xFE);  // would take any frame
  try {
    stack_->ProcessReceived(Frame(0xFF, 1, 0, "invalid") + Frame(0x31, 2, 0, "behind"));
    FAIL() << "no error";
  } catch (const EKorvanStackError& e) {
    EXPECT_STREQ(e.what(), "RCV packet ADR=$FF !");
  }
  EXPECT_EQ(Data(device->Frames()), (std::vector<std::string>{"behind"}));
  EXPECT_EQ(stack_->BufferedCount(), 0u);

  // One that passes the check but cannot be parsed must not deafen the stack either.
  EXPECT_THROW(stack_->ProcessReceived(EightByteFrame() + Frame(0x31, 3, 0, "after short")), EKorvanPacketError);
  EXPECT_NO_THROW(stack_->ProcessReceived(Frame(0x31, 4, 0, "later")));
  EXPECT_EQ(Data(device->Frames()), (std::vector<std::string>{"behind", "after short", "later"}));
}

TEST_F(TKorvanStackTest, KeepsAtMost131072BytesAndThenTheNewest86016) {
  auto device = AddDevice(0x31);
  // Noise with no frame start stays in the buffer until a frame turns up.
  stack_->ProcessReceived(std::string(TKorvanStack::MaxBuffer - 20, '\x55'));
  stack_->ProcessReceived(std::string(20, '\x66'));
  EXPECT_EQ(stack_->BufferedCount(), 131072u);
  stack_->ProcessReceived(std::string(1, '\x77'));
  EXPECT_EQ(stack_->BufferedCount(), 86016u);

  // The newest bytes are the ones kept: a frame at the very end survives a trim.
  stack_->ProcessReceived(std::string(131072 - 86016, '\x55'));
  ASSERT_EQ(stack_->BufferedCount(), 131072u);
  stack_->ProcessReceived(Frame(0x31, 1, 0, "survivor"));
  EXPECT_EQ(Data(device->Frames()), (std::vector<std::string>{"survivor"}));
  EXPECT_EQ(stack_->BufferedCount(), 0u);
}

TEST_F(TKorvanStackTest, HandlesAboutAThousandFramesPerCallWhileTheLineHasMoreWaiting) {
  auto device = AddDevice(0x31);
  // Let bytes wait on the line without the stack reading them.
  line_->SetOnDataRcv(ci::TCiNotifyEvent());
  Receive("x");
  ASSERT_NE(line_->InputCount(), 0);

  std::string many;
  for (int i = 0; i < 1500; ++i) many += Frame(0x31, static_cast<uint8_t>(i), 0x20);
  stack_->ProcessReceived(many);
  const size_t first = device->FrameCount();
  EXPECT_GE(first, 1000u);
  EXPECT_LE(first, 1001u);
  EXPECT_EQ(stack_->BufferedCount(), (1500 - first) * 9);

  // With the line drained the rest goes through in one call, in order.
  line_->ClearInput();
  stack_->ProcessReceived(Frame(0x31, 0xAA, 0x20, "last"));
  const auto frames = device->Frames();
  ASSERT_EQ(frames.size(), 1501u);
  for (int i = 0; i < 1500; ++i) ASSERT_EQ(frames[i].SIG, static_cast<uint8_t>(i)) << "frame " << i;
  EXPECT_EQ(frames.back().data, "last");
}

TEST_F(TKorvanStackTest, SendReceiveKeepsWaitingAfterACode0DFrameWithTheRightSIG) {
  auto device = AddDevice(0x31);
  AnswerWith([](const TKorvanFormat97& r) { return Frame(r.ADR, r.SIG, 0x0D, "notice only"); });
  std::string reply;
  EXPECT_FALSE(stack_->SendReceive(0x31, 0x45, 0xF3, "", reply, 150));
  EXPECT_TRUE(reply.empty());
  EXPECT_EQ(Data(device->Frames()), (std::vector<std::string>{"notice only"}));
}

TEST_F(TKorvanStackTest, SendReceiveToTheUniversalAddressAcceptsAnAnswerFrom0x31) {
  AnswerWith([](const TKorvanFormat97& r) { return Frame(0x31, r.SIG, 0, "from 31"); });
  std::string reply;
  ASSERT_TRUE(stack_->SendReceive(0xFE, 0x20, 0xF3, "", reply, 2000));
  EXPECT_EQ(ParsePacket(reply).ADR, 0x31);
  EXPECT_EQ(ParsePacket(reply).data, "from 31");
  const auto requests = korvan::test::Requests(*line_);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].ADR, 0xFE);
}

// What lines send around an answer: frames that are not it, false starts,
// cut-off, short and invalid frames. None may hide or undo the answer, and
// every frame that is not it reaches the devices afterwards.
TEST_F(TKorvanStackTest, SendReceiveFindsItsAnswerAmongWhatIsNotIt) {
  std::string lost = Frame(0x31, 0x50, 0, "lost three");
  lost.resize(lost.size() - 3);  // its length field reaches into the answer
  const char* const badFrame = "Incorrect PACKET (Korvan format 97)!";
  const struct {
    const char* name;
    std::string before, after;
    std::vector<std::string> routed, messages;
  } cases[] = {
      {"code 0D, other SIG, other module", Frame(0x31, 0x44, 0x0D, "notice") + Frame(0x31, 0x45, 0, "other SIG") +
       Frame(0x32, 0x44, 0, "other module"), "", {"notice", "other SIG"}, {}},
      {"false start", Bytes({0x2A, 0x61, 0x00}), "", {}, {}},
      {"long false start", Bytes({0x2A, 0x61, 0xFF, 0xFF}), "", {}, {}},
      {"cut-off frame", lost, "", {}, {}},
      {"short frame", EightByteFrame(), "", {}, {badFrame}},
      {"address FF after", "", Frame(0xFF, 0x51, 0, "invalid"), {}, {"RCV packet ADR=$FF !"}},
      {"short frame after", "", EightByteFrame(), {}, {badFrame}},
  };
  auto device = AddDevice(0x31);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TMessageCapture messages;
    device->ClearFrames();
    AnswerWith([&](const TKorvanFormat97& r) {
      return c.before + Frame(r.ADR, r.SIG, 0, "answer") + c.after + Frame(0x31, 0x60, 0x20, "behind");
    });
    std::string reply;
    ASSERT_TRUE(stack_->SendReceive(0x31, 0x44, 0xF3, "", reply, 1500));
    EXPECT_EQ(ParsePacket(reply).data, "answer");
    std::vector<std::string> routed = c.routed;
    routed.push_back("behind");
    EXPECT_EQ(Data(device->Frames()), routed);
    EXPECT_EQ(messages.Texts(), c.messages);
  }
  AnswerWith([&](const TKorvanFormat97&) { return EightByteFrame(); });
  std::string reply;
  EXPECT_FALSE(stack_->SendReceive(0x31, 0x01, 0xF3, "", reply, 100));  // and does not throw
}

// A device that sends a request or detaches the stack while the stack routes.
class TReentrantDevice : public TRecordingDevice {
 public:
  using TRecordingDevice::TRecordingDevice;
  int DoPacketReceive(const TKorvanFormat97& packet) override {
    TRecordingDevice::DoPacketReceive(packet);
    if (packet.code == 0x21 && onFrame) onFrame();
    return 0;
  }
  std::function<void()> onFrame;
};

TEST_F(TKorvanStackTest, ADeviceMaySendOrDetachWhileTheStackRoutes) {
  auto device = CreateObject<TReentrantDevice>(uint8_t{0x31});
  device->SetStack(stack_.get());
  std::string reply;
  device->onFrame = [&] { stack_->SendReceive(0x31, 0x70, 0xF3, "", reply, 2000); };
  AnswerWith([](const TKorvanFormat97& r) { return Frame(r.ADR, r.SIG, 0, "answer") + Frame(0x31, 9, 0, "extra"); });
  const std::string chunk = Frame(0x31, 1, 0x21, "send") + Frame(0x31, 2, 0, "second") + Frame(0x31, 3, 0, "third");
  stack_->ProcessReceived(chunk);
  EXPECT_EQ(ParsePacket(reply).data, "answer");
  EXPECT_EQ(Data(device->Frames()), (std::vector<std::string>{"send", "extra", "second", "third"}));

  device->ClearFrames();
  device->onFrame = [&] { stack_->SetCommInterface(nullptr); };
  stack_->ProcessReceived(Frame(0x31, 4, 0x21, "detach") + Frame(0x31, 5, 0, "after"));
  EXPECT_EQ(Data(device->Frames()), (std::vector<std::string>{"detach", "after"}));
  EXPECT_EQ(stack_->BufferedCount(), 0u);
  device->SetStack(nullptr);
}

// A line that goes ends the request at once; waiting for another thread's
// transaction does not use up the time-out, which counts from the write.
TEST_F(TKorvanStackTest, SendReceiveEndsWhenItsLineGoesAndCountsItsTimeOutFromTheWrite) {
  std::string reply;
  AnswerWith([&](const TKorvanFormat97&) { return line_->HangUp(), std::string(); });
  const auto start = TestClock::now();
  EXPECT_FALSE(stack_->SendReceive(0x31, 0x01, 0xF3, "", reply, 20000));
  EXPECT_LT(MsSince(start), 10000);

  ASSERT_TRUE(line_->Open());
  line_->SetPeer([&](const std::string& written) {
    const TKorvanFormat97 r = ParsePacket(written);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // a slow module, silent to 0x40
    return r.ADR == 0x31 ? Frame(r.ADR, r.SIG, 0, "in time") : std::string();
  });
  std::thread first([&] { stack_->SendReceive(0x40, 0x01, 0xF3, "", reply, 600); });
  ASSERT_TRUE(WaitUntil([&] { return line_->Written().size() == 2; }));
  std::string mine;
  EXPECT_TRUE(stack_->SendReceive(0x31, 0x02, 0xF3, "", mine, 500));
  first.join();
}

TEST_F(TKorvanStackTest, SendReceiveNeverTakesBytesThatWereWaitingBeforeTheRequest) {
  auto device = AddDevice(0x31);
  // The stale bytes wait on the line, their announcement not delivered yet.
  line_->SetOnDataRcv(ci::TCiNotifyEvent());
  const std::string stale = Frame(0x31, 0x30, 0, "stale");

  Receive(stale);
  std::string reply;
  EXPECT_FALSE(stack_->SendReceive(0x31, 0x30, 0xF3, "", reply, 150)) << "took " << Hex(reply);
  EXPECT_EQ(Data(device->Frames()), (std::vector<std::string>{"stale"}));  // routed at the end

  device->ClearFrames();
  Receive(stale);
  AnswerWith([](const TKorvanFormat97& r) { return Frame(r.ADR, r.SIG, 0, "fresh"); });
  ASSERT_TRUE(stack_->SendReceive(0x31, 0x30, 0xF3, "", reply, 2000));
  EXPECT_EQ(ParsePacket(reply).data, "fresh");
  EXPECT_EQ(Data(device->Frames()), (std::vector<std::string>{"stale"}));
}

TEST_F(TKorvanStackTest, SendReceiveOnASilentLineFailsAfterAboutItsTimeOut) {
  std::string reply = "left over";
  const auto start = TestClock::now();
  EXPECT_FALSE(stack_->SendReceive(0x31, 0x01, 0xF3, "", reply, 150));
  const long long elapsed = MsSince(start);
  EXPECT_GE(elapsed, 145);
  EXPECT_LT(elapsed, 3000);
  EXPECT_TRUE(reply.empty());
  EXPECT_EQ(line_->Written(), (std::vector<std::string>{Frame(0x31, 0x01, 0xF3)}));
}

TEST_F(TKorvanStackTest, SendReceiveWithoutAnOpenLineOrWithTooMuchDataFailsAtOnceAndSendsNothing) {
  std::string reply;
  EXPECT_FALSE(stack_->SendReceive(0x31, 0x01, 0xF3, std::string(KorvanMaxData + 1, 'x'), reply, 1000));
  ASSERT_TRUE(line_->Close(false));
  const auto start = TestClock::now();
  EXPECT_FALSE(stack_->SendReceive(0x31, 0x01, 0xF3, "", reply, 5000));
  stack_->SetCommInterface(nullptr);
  EXPECT_FALSE(stack_->SendReceive(0x31, 0x01, 0xF3, "", reply, 5000));
  EXPECT_LT(MsSince(start), 2500);  // neither waited for its time-out
  EXPECT_TRUE(line_->Written().empty());
}

TEST_F(TKorvanStackTest, SendWritesOneFrameAndNothingWithoutALine) {
  stack_->Send(0x31, 0x05, 0x1B, Bytes({1, 2}));
  stack_->SetCommInterface(nullptr);
  stack_->Send(0x31, 0x06, 0x1B, "");
  EXPECT_EQ(line_->Written(), (std::vector<std::string>{Frame(0x31, 0x05, 0x1B, Bytes({1, 2}))}));
}

TEST_F(TKorvanStackTest, AttachingMovesTheHandlerAndEmptiesTheReceiveBuffer) {
  const auto handler = ci::TCiNotifyEvent::Bind<&TKorvanStack::icDataRcv>(stack_.get());
  EXPECT_TRUE(line_->GetOnDataRcv() == handler);

  // A partial frame of one line must not join bytes of the next.
  stack_->ProcessReceived(Frame(0x31, 1, 0, "partial").substr(0, 6));
  ASSERT_EQ(stack_->BufferedCount(), 6u);
  auto other = CreateObject<TTestLine>();
  ASSERT_TRUE(other->Open());
  stack_->SetCommInterface(other.get());
  EXPECT_EQ(stack_->BufferedCount(), 0u);
  EXPECT_FALSE(line_->GetOnDataRcv().Assigned());
  EXPECT_TRUE(other->GetOnDataRcv() == handler);
  EXPECT_TRUE(stack_->GetCommInterface().get() == other.get());

  stack_->ProcessReceived("xyz");
  stack_->SetCommInterface(nullptr);
  EXPECT_EQ(stack_->BufferedCount(), 0u);
  EXPECT_FALSE(other->GetOnDataRcv().Assigned());
  other->Stop();
}

TEST_F(TKorvanStackTest, OnlyACommunicationInterfaceMayOwnAStack) {
  auto stack = CreateObject<TKorvanStack>();
  auto notAnInterface = CreateObject<TKorvanStack>();
  try {
    stack->SetParent(notAnInterface.get());
    FAIL() << "accepted a stack as parent";
  } catch (const EKorvanStackError& e) {
    EXPECT_STREQ(e.what(), "IKorvanStack can be owned only by ICommunicationInterface");
  }
  EXPECT_FALSE(stack->GetParent());
  EXPECT_EQ(notAnInterface->ChildCount(), 0);
  EXPECT_THROW(CreateObject<TKorvanStack>(pugi::xml_node(), static_cast<IInterface*>(notAnInterface.get())),
               EKorvanStackError);

  // An interface as parent attaches the stack to it; no parent detaches.
  stack_->SetCommInterface(nullptr);
  auto device = CreateObject<TRecordingDevice>(uint8_t{0x31});
  device->SetStack(stack.get());
  stack->SetParent(line_.get());
  EXPECT_TRUE(stack->GetCommInterface().get() == line_.get());
  EXPECT_EQ(line_->ChildCount(), 1);
  Receive(Frame(0x31, 1, 0, "via parent"));
  EXPECT_EQ(Data(device->Frames()), (std::vector<std::string>{"via parent"}));

  stack->SetParent(nullptr);
  EXPECT_FALSE(stack->GetCommInterface());
  EXPECT_EQ(line_->ChildCount(), 0);
  EXPECT_FALSE(line_->GetOnDataRcv().Assigned());
  device->SetStack(nullptr);
}

}  // namespace

// Two attaches that overlap must not leave the loser's line with our handler.
// One line takes its time to install it, as on a loaded machine.
TEST_F(TKorvanStackTest, TwoThreadsAttachingInALoopLeaveTheHandlerOnTheAttachedLineOnly) {
  struct TSlowLine : TTestLine {
    void SetOnDataRcv(ci::TCiNotifyEvent h) override {
      if (h) std::this_thread::sleep_for(std::chrono::microseconds(200));
      TTestLine::SetOnDataRcv(h);
    }
  };
  line_ = CreateObject<TSlowLine>();
  TRef<TTestLine> other = CreateObject<TTestLine>();
  const auto ours = ci::TCiNotifyEvent::Bind<&TKorvanStack::icDataRcv>(stack_.get());
  const auto carries = [&](TTestLine* l) { return l->GetOnDataRcv() == ours; };
  int wrong = 0;
  std::barrier round(2, [&]() noexcept {
    const auto attached = stack_->GetCommInterface();
    wrong += carries(line_.get()) != (attached == line_.get()) || carries(other.get()) != (attached == other.get());
  });
  const auto attach = [&](TTestLine* l) {
    for (int i = 0; i < 200; ++i) {
      stack_->SetCommInterface(l);
      round.arrive_and_wait();
    }
  };
  std::thread a(attach, line_.get()), b(attach, other.get());
  a.join();
  b.join();
  EXPECT_EQ(wrong, 0);
  stack_->SetCommInterface(nullptr);
  EXPECT_FALSE(carries(line_.get()) || carries(other.get()));
  other->Stop();
}

// Memory running out mid-request ends it as a failure, both locks free again.
TEST_F(TKorvanStackTest, AnExceptionDuringTheRequestEndsItAsAFailureWithTheLocksReleased) {
  struct TFailingLine : TTestLine {
    void InternalRead(std::string& Data) override {
      if (!Written().empty()) throw std::bad_alloc();
      TTestLine::InternalRead(Data);
    }
  };
  TRef<TFailingLine> failing = CreateObject<TFailingLine>();
  ASSERT_TRUE(failing->Open());
  failing->SetPeer([](const std::string&) { return std::string("answer"); });
  stack_->SetCommInterface(failing.get());
  std::string reply;
  EXPECT_FALSE(stack_->SendReceive(0x31, 0x01, 0xF3, "", reply, 1000));
  std::thread([&] { TWriteLock a(stack_->Lock()), b(failing->Lock()); }).join();
  failing->Stop();
}
