#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "comm/uCI_Wrapper.h"
#include "comm/uObjectDestroyer.h"
#include "platform/uThreadName.h"
#include "protocol/uKorvan97.h"
#include "protocol/uKorvanModules.h"
#include "protocol/uKorvanStack.h"
#include "protocol/uKorvanStackDevice.h"
#include "support/TLoopbackTransport.h"
#include "support/TWait.h"

// A protocol stack on the application-facing wrapper, over a loopback transport.

using korvan::BuildPacket;
using korvan::CreateObject;
using korvan::CurrentThreadName;
using korvan::TKorvanFormat97;
using korvan::TKorvanStack;
using korvan::TKorvanStackDevice;
using korvan::TRef;
using korvan::ci::ICommunicationWrapperInterface;
using korvan::ci::TCommunicationWrapperInterface;
using korvan::test::TLoopbackProviders;
using korvan::test::TLoopbackTransport;
using korvan::test::WaitUntil;

namespace {

// The kernel keeps 15 characters of "CI Data Receive Thread".
const char* const ReceiveThreadName = "CI Data Receive";

TLoopbackTransport* LoopbackOf(ICommunicationWrapperInterface* wrapper) {
  return dynamic_cast<TLoopbackTransport*>(wrapper->GetTransport().get());
}

// A module object that records what the stack routes to it, and where.
class TRecordingDevice : public TKorvanStackDevice {
 public:
  explicit TRecordingDevice(uint8_t adr) : TKorvanStackDevice(adr) {}

  int DoPacketReceive(const TKorvanFormat97& packet) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      packets_.push_back(packet);
      threadNames_.push_back(CurrentThreadName());
    }
    return TKorvanStackDevice::DoPacketReceive(packet);
  }
  std::vector<TKorvanFormat97> Packets() {
    std::lock_guard<std::mutex> lock(mutex_);
    return packets_;
  }
  std::vector<std::string> ThreadNames() {
    std::lock_guard<std::mutex> lock(mutex_);
    return threadNames_;
  }

 private:
  std::mutex mutex_;
  std::vector<TKorvanFormat97> packets_;
  std::vector<std::string> threadNames_;
};

// Answers every request frame with acknowledge 0 and fixed data.
std::string AnswerRequests(const std::string& written) {
  if (korvan::CheckPacket(written) != 0) return {};
  const TKorvanFormat97 request = korvan::ParsePacket(written);
  return BuildPacket(request.ADR, request.SIG, 0, "ANSWER");
}

// A stack attached to a wrapper, with one device at 0x31; undone in reverse.
struct TStackOnWrapper {
  TRef<TCommunicationWrapperInterface> wrapper;
  TRef<TKorvanStack> stack = CreateObject<TKorvanStack>();
  TRef<TRecordingDevice> device = CreateObject<TRecordingDevice>(0x31);

  explicit TStackOnWrapper(const std::string& connectionString)
      : wrapper(CreateObject<TCommunicationWrapperInterface>(connectionString)) {
    device->SetStack(stack.get());
    stack->SetCommInterface(wrapper.get());
  }
  ~TStackOnWrapper() {
    stack->SetCommInterface(nullptr);
    device->SetStack(nullptr);
  }
};

class StackOnWrapper : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { korvan::InitializeModules(); }
  // The wrappers' receive threads go through the destroyer: gone once a
  // marker handed over after them has run.
  void TearDown() override {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> ran = done->get_future();
    korvan::DestroyLater([done] { done->set_value(); });
    ASSERT_EQ(ran.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  }

  TLoopbackProviders loopback{{"LOOPBACK"}};
};

TEST_F(StackOnWrapper, RoutesReceivedFramesToTheStacksDeviceOnTheReceiveThread) {
  TStackOnWrapper line("provider=LOOPBACK");
  ASSERT_TRUE(line.wrapper->Open());
  TLoopbackTransport* transport = LoopbackOf(line.wrapper.get());
  ASSERT_NE(transport, nullptr);

  // The frame for another address comes first, so once ours is in, the other has been passed over.
  transport->Receive(BuildPacket(0x32, 7, 13, "other"));
  transport->Receive(BuildPacket(0x31, 9, 13, "mine"));
  ASSERT_TRUE(WaitUntil([&] { return !line.device->Packets().empty(); }));
  ASSERT_TRUE(transport->WaitIdle());
  ASSERT_TRUE(WaitUntil([&] { return line.wrapper->InputCount() == 0; }));

  const std::vector<TKorvanFormat97> packets = line.device->Packets();
  ASSERT_EQ(packets.size(), 1u);
  EXPECT_EQ(packets[0].ADR, 0x31);
  EXPECT_EQ(packets[0].SIG, 9);
  EXPECT_EQ(packets[0].code, 13);
  EXPECT_EQ(packets[0].data, "mine");
  EXPECT_EQ(line.device->ThreadNames(), std::vector<std::string>{ReceiveThreadName});
}

TEST_F(StackOnWrapper, ADeviceRequestGetsItsAnswerThroughTheWrapper) {
  loopback.SetPeer(&AnswerRequests);
  TStackOnWrapper line("provider=LOOPBACK");
  ASSERT_TRUE(line.wrapper->Open());

  int ack = -1;
  std::string answer;
  ASSERT_TRUE(line.device->RequestData(0xF3, "", 2000, ack, answer));
  EXPECT_EQ(ack, 0);
  EXPECT_EQ(answer, "ANSWER");

  const std::vector<std::string> written = LoopbackOf(line.wrapper.get())->Written();
  ASSERT_EQ(written.size(), 1u);
  ASSERT_EQ(korvan::CheckPacket(written[0]), 0);
  const TKorvanFormat97 request = korvan::ParsePacket(written[0]);
  EXPECT_EQ(request.ADR, 0x31);
  EXPECT_EQ(request.code, 0xF3);
  // The answer went to the request, not to the device's routing.
  EXPECT_TRUE(line.device->Packets().empty());
}

}  // namespace
