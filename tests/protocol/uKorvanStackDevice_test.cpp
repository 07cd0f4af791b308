#include "protocol/uKorvanStackDevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "protocol/uKorvanStackDeviceList.h"
#include "support/TModulePeer.h"
#include "tools/korvan-sim/uIngraModel.h"

using namespace korvan;
using namespace korvan::test;

namespace {

// Opens the protected requests and counts the packets that answer nothing.
class TProbeDevice : public TRecordingDevice {
 public:
  using TRecordingDevice::TRecordingDevice;
  using TKorvanStackDevice::Request;

  int DoNonAnswerPacket(const TKorvanFormat97& packet) override {
    ++nonAnswers;
    if (throwFromNonAnswer) throw std::runtime_error("handler failed");
    return TRecordingDevice::DoNonAnswerPacket(packet);
  }

  std::atomic<int> nonAnswers{0};
  std::atomic<bool> throwFromNonAnswer{false};
};

class TAnswerLog {
 public:
  void OnAnswer(const TKorvanFormat97& request, const TKorvanFormat97& answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back({request, answer});
  }
  void OnAnswerThrow(const TKorvanFormat97&, const TKorvanFormat97&) { throw std::runtime_error("callback failed"); }

  std::vector<std::pair<TKorvanFormat97, TKorvanFormat97>> Calls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::pair<TKorvanFormat97, TKorvanFormat97>> calls_;
};

class TListListener {
 public:
  void OnChanged(const std::vector<IKorvanStackDevice*>& devices) {
    std::lock_guard<std::mutex> lock(mutex_);
    last_ = devices;
    ++calls_;
  }
  std::vector<IKorvanStackDevice*> Last() {
    std::lock_guard<std::mutex> lock(mutex_);
    return last_;
  }
  int Calls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }

 private:
  std::mutex mutex_;
  std::vector<IKorvanStackDevice*> last_;
  int calls_ = 0;
};

std::vector<uint8_t> Codes(const std::vector<TKorvanFormat97>& frames) {
  std::vector<uint8_t> codes;
  for (const auto& f : frames) codes.push_back(f.code);
  return codes;
}

using TKorvanStackDeviceTest = TModuleTest<sim::TIngraModel, TProbeDevice>;

TEST_F(TKorvanStackDeviceTest, ReadIdentificationNamesTheDeviceAfterTheTextBeforeTheFirstSemicolon) {
  model_.SetIdentification("  Ingra 4AI ;v2.1;serial 17");
  ASSERT_TRUE(device_->ReadIdentification());
  EXPECT_EQ(device_->GetName(), "Ingra 4AI");
  const auto requests = Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].ADR, 0x31);
  EXPECT_EQ(requests[0].code, 0xF3);
  EXPECT_TRUE(requests[0].data.empty());

  std::string text;
  ASSERT_TRUE(device_->ReadIdentificationText(text));
  EXPECT_EQ(text, "  Ingra 4AI ;v2.1;serial 17");

  model_.SetIdentification("Outra");
  ASSERT_TRUE(device_->ReadIdentification());
  EXPECT_EQ(device_->GetName(), "Outra");

  model_.SetSilent(true);
  device_->SetTimeout(150);
  EXPECT_FALSE(device_->ReadIdentification());
  EXPECT_EQ(device_->GetName(), "");
}

TEST_F(TKorvanStackDeviceTest, SignaturesRunFromOneTo255AndThenZero) {
  for (int i = 0; i < 257; ++i) ASSERT_TRUE(device_->CommandE3()) << "request " << i;
  const auto requests = Requests();
  ASSERT_EQ(requests.size(), 257u);
  for (int i = 0; i < 255; ++i) ASSERT_EQ(requests[i].SIG, i + 1) << "request " << i;
  EXPECT_EQ(requests[255].SIG, 0);
  EXPECT_EQ(requests[256].SIG, 1);
  EXPECT_EQ(model_.GetCommandCount(), 257);
  for (int sig = 0; sig < 256; ++sig) ASSERT_TRUE(device_->Slot(static_cast<uint8_t>(sig)).free) << "SIG " << sig;
}

TEST_F(TKorvanStackDeviceTest, AFixedSIGIsCarriedByEveryRequestAndReservesNothing) {
  device_->SetFixedSIG(0x10);
  EXPECT_EQ(device_->GetFixedSIG(), 0x10);
  ASSERT_TRUE(device_->CommandE3());
  ASSERT_TRUE(device_->CommandE3());
  device_->SetFixedSIG(0);
  ASSERT_TRUE(device_->CommandE3());
  const auto requests = Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].SIG, 0x10);
  EXPECT_EQ(requests[1].SIG, 0x10);
  EXPECT_EQ(requests[2].SIG, 1);  // the fixed ones took no turn
}

TEST_F(TKorvanStackDeviceTest, StatusAndLastAcknowledgeFollowEachRequest) {
  EXPECT_EQ(device_->GetStatus(), KorvanStatusNone);
  EXPECT_EQ(device_->GetLastAck(), -1);

  ASSERT_TRUE(device_->CommandE3());
  EXPECT_EQ(device_->GetStatus(), KorvanStatusDone);
  EXPECT_EQ(device_->GetLastAck(), 0);

  // A refusal is an answer: the request itself succeeds, the instruction does not.
  model_.SetForcedAck(3);
  EXPECT_FALSE(device_->CommandE3());
  EXPECT_EQ(device_->GetStatus(), KorvanStatusModuleError);
  EXPECT_EQ(device_->GetLastAck(), 3);
  int ack = -1;
  std::string data = "untouched";
  ASSERT_TRUE(device_->RequestData(0xE3, "", -1, ack, data));
  EXPECT_EQ(ack, 3);
  EXPECT_EQ(data, "");
  EXPECT_EQ(device_->GetStatus(), KorvanStatusModuleError);
  EXPECT_EQ(model_.GetCommandCount(), 1);

  model_.SetSilent(true);
  device_->SetTimeout(150);
  EXPECT_FALSE(device_->CommandE3());
  EXPECT_EQ(device_->GetStatus(), KorvanStatusNoAnswer);
  EXPECT_EQ(device_->GetLastAck(), -1);
  EXPECT_FALSE(device_->RequestData(0xE3, "", -1, ack, data));

  device_->SetStack(nullptr);
  EXPECT_FALSE(device_->CommandE3());
  EXPECT_EQ(device_->GetStatus(), KorvanStatusNone);
  EXPECT_EQ(Requests().size(), 5u);  // nothing without a stack
}

TEST_F(TKorvanStackDeviceTest, ATimeOutOfMinusOneWaitsTheDefaultAndEnableConfigurationWaits500ms) {
  EXPECT_EQ(device_->GetTimeout(), 1000);
  model_.SetSilent(true);
  int ack = 0;
  std::string data;

  device_->SetTimeout(150);
  auto start = TestClock::now();
  EXPECT_FALSE(device_->RequestData(0xE3, "", -1, ack, data));
  long long elapsed = MsSince(start);
  EXPECT_GE(elapsed, 145);
  EXPECT_LT(elapsed, 900);  // not the 1000 of a new device

  // Its own 500 ms, whatever the default.
  device_->SetTimeout(100);
  start = TestClock::now();
  EXPECT_FALSE(device_->EnableConfiguration());
  elapsed = MsSince(start);
  EXPECT_GE(elapsed, 495);
  EXPECT_LT(elapsed, 4000);
  EXPECT_EQ(Codes(Requests()), (std::vector<uint8_t>{0xE3, 0xE4}));
}

TEST_F(TKorvanStackDeviceTest, OneByteParameterTextAndFlagReachTheModuleAndComeBack) {
  ASSERT_TRUE(device_->WriteByteParameter(0x5A));
  EXPECT_EQ(model_.GetParameter(), 0x5A);
  uint8_t parameter = 0;
  ASSERT_TRUE(device_->ReadByteParameter(parameter));
  EXPECT_EQ(parameter, 0x5A);

  ASSERT_TRUE(device_->WriteText("hello"));
  EXPECT_EQ(Requests().back().data, Bytes({0}) + "hello" + Bytes({0}));
  EXPECT_EQ(model_.GetText(), "hello");
  // Cut to 16 bytes, and then no closing 0.
  ASSERT_TRUE(device_->WriteText("0123456789ABCDEFGHIJ"));
  EXPECT_EQ(Requests().back().data, Bytes({0}) + "0123456789ABCDEF");
  std::string text;
  ASSERT_TRUE(device_->ReadF2Data(text));
  EXPECT_EQ(text, "0123456789ABCDEF");

  ASSERT_TRUE(device_->WriteFlag(true));
  EXPECT_EQ(Requests().back().data, Bytes({1}));
  EXPECT_TRUE(model_.GetFlag());
  bool flag = false;
  ASSERT_TRUE(device_->ReadFlag(flag));
  EXPECT_TRUE(flag);
  ASSERT_TRUE(device_->WriteFlag(false));
  EXPECT_EQ(Requests().back().data, Bytes({0}));
  ASSERT_TRUE(device_->ReadFlag(flag));
  EXPECT_FALSE(flag);

  EXPECT_EQ(Codes(Requests()),
            (std::vector<uint8_t>{0xE1, 0xF1, 0xE2, 0xE2, 0xF2, 0xEE, 0xFE, 0xEE, 0xFE}));
}

TEST_F(TKorvanStackDeviceTest, CommandE3AndEnableConfigurationAreCarriedOut) {
  ASSERT_TRUE(device_->CommandE3());
  EXPECT_EQ(model_.GetCommandCount(), 1);
  ASSERT_TRUE(device_->EnableConfiguration());
  EXPECT_TRUE(model_.GetConfigurationEnabled());
}

TEST_F(TKorvanStackDeviceTest, ReadNumbersIsBigEndianAndNeedsEightBytes) {
  model_.SetNumbers({0x1234, 0xABCD, 0x01020304});
  uint16_t a = 0, b = 0;
  uint32_t c = 0;
  ASSERT_TRUE(device_->ReadNumbers(a, b, c));
  EXPECT_EQ(a, 0x1234);
  EXPECT_EQ(b, 0xABCD);
  EXPECT_EQ(c, 0x01020304u);

  ScriptAnswer(0, Bytes({1, 2, 3, 4, 5, 6, 7}));
  EXPECT_FALSE(device_->ReadNumbers(a, b, c));
}

TEST_F(TKorvanStackDeviceTest, ReadAddressAndBaudRateTakeTheModulesAnswer) {
  uint8_t adr = 0;
  ASSERT_TRUE(device_->ReadAddress(adr));
  EXPECT_EQ(adr, 0x31);

  int baud = 0;
  ASSERT_TRUE(device_->ReadAddressAndBaudRate(adr, baud));
  EXPECT_EQ(adr, 0x31);
  EXPECT_EQ(baud, 9600);
  model_.SetBaudCode(11);
  ASSERT_TRUE(device_->ReadAddressAndBaudRate(adr, baud));
  EXPECT_EQ(baud, 230400);
  model_.SetBaudCode(12);  // beyond the table
  ASSERT_TRUE(device_->ReadAddressAndBaudRate(adr, baud));
  EXPECT_EQ(baud, 0);
}

TEST_F(TKorvanStackDeviceTest, ChangeAddressEnablesConfigurationAndMovesTheDevice) {
  ASSERT_TRUE(device_->ChangeAddress(0x40));
  const auto requests = Requests();
  EXPECT_EQ(Codes(requests), (std::vector<uint8_t>{0xF0, 0xE4, 0xE0}));
  EXPECT_EQ(requests.back().data, Bytes({0x40, sim::TModuleModel::DefaultBaudCode}));
  EXPECT_EQ(model_.GetAddress(), 0x40);
  EXPECT_EQ(device_->GetAdr(), 0x40);
  // Both ends agree on the new address.
  EXPECT_TRUE(device_->ReadIdentification());
  EXPECT_EQ(Requests().back().ADR, 0x40);
}

TEST_F(TKorvanStackDeviceTest, SetAddressAndBaudRateSendsTheBaudCodeAndRefusesUnknownRates) {
  ASSERT_TRUE(device_->SetAddressAndBaudRate(0x33, 19200));
  const auto requests = Requests();
  EXPECT_EQ(Codes(requests), (std::vector<uint8_t>{0xE4, 0xE0}));
  EXPECT_EQ(requests.back().data, Bytes({0x33, 7}));
  EXPECT_EQ(model_.GetAddress(), 0x33);
  EXPECT_EQ(model_.GetBaudCode(), 7);
  EXPECT_EQ(device_->GetAdr(), 0x33);

  line_->ClearWritten();
  EXPECT_FALSE(device_->SetAddressAndBaudRate(0x34, 12345));
  EXPECT_TRUE(line_->Written().empty());
  EXPECT_EQ(device_->GetAdr(), 0x33);
}

TEST_F(TKorvanStackDeviceTest, AssignAddressGoesToTheUniversalAddressAndKeepsTheOldOneOnFailure) {
  model_.SetNumbers({0x1234, 0x5678, 0});
  ASSERT_TRUE(device_->AssignAddress(0x45, 0x1234, 0x5678));
  auto requests = Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].ADR, 0xFE);
  EXPECT_EQ(requests[0].code, 0xEB);
  EXPECT_EQ(requests[0].data, Bytes({0x45, 0x12, 0x34, 0x56, 0x78}));
  EXPECT_EQ(model_.GetAddress(), 0x45);
  EXPECT_EQ(device_->GetAdr(), 0x45);

  // Another module's numbers: this one keeps quiet.
  device_->SetTimeout(150);
  EXPECT_FALSE(device_->AssignAddress(0x46, 1, 2));
  EXPECT_EQ(device_->GetAdr(), 0x45);
  EXPECT_EQ(model_.GetAddress(), 0x45);
  EXPECT_EQ(Requests().back().ADR, 0xFE);
}

TEST_F(TKorvanStackDeviceTest, SurvivesNoiseAndASplitAnswer) {
  model_.SetNoise(Bytes({0x00, 0x2A, 0xFF, 0x0D, 0x13}));
  ASSERT_TRUE(device_->ReadIdentification());
  EXPECT_EQ(device_->GetName(), "Ingra");

  model_.ClearFaults();
  model_.SetSplit(40);
  device_->SetName("none");
  ASSERT_TRUE(device_->ReadIdentification());
  EXPECT_EQ(device_->GetName(), "Ingra");
}

TEST_F(TKorvanStackDeviceTest, AWrongChecksumFailsTheFirstRequestAndARetrySucceeds) {
  device_->SetTimeout(150);
  model_.SpoilNextChecksum();
  EXPECT_FALSE(device_->ReadIdentification());
  EXPECT_EQ(device_->GetStatus(), KorvanStatusNoAnswer);
  device_->SetTimeout(1000);
  ASSERT_TRUE(device_->ReadIdentification());
  EXPECT_EQ(device_->GetName(), "Ingra");
  EXPECT_EQ(device_->FrameCount(), 0u);  // the spoilt frame went nowhere
}

TEST_F(TKorvanStackDeviceTest, ASilentModuleFailsTheRequestAfterItsTimeOut) {
  model_.SetSilent(true);
  device_->SetTimeout(150);
  const auto start = TestClock::now();
  EXPECT_FALSE(device_->WriteByteParameter(9));
  const long long elapsed = MsSince(start);
  EXPECT_GE(elapsed, 145);
  EXPECT_LT(elapsed, 3000);
  EXPECT_EQ(device_->GetStatus(), KorvanStatusNoAnswer);
  EXPECT_EQ(model_.GetParameter(), 0);
  EXPECT_TRUE(device_->Slot(1).free);
}

TEST_F(TKorvanStackDeviceTest, ACode0DFrameBeforeTheAnswerIsHandedToTheDeviceAfterwards) {
  model_.SetNoticeBeforeAnswer(true);
  ASSERT_TRUE(device_->ReadIdentification());
  EXPECT_EQ(device_->GetName(), "Ingra");
  const auto frames = device_->Frames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].code, 0x0D);
  EXPECT_EQ(frames[0].SIG, Requests().back().SIG);
  EXPECT_EQ(device_->nonAnswers.load(), 1);
}

TEST_F(TKorvanStackDeviceTest, AForcedAcknowledgeFailsTheInstructionAndChangesNothing) {
  model_.SetForcedAck(5);
  EXPECT_FALSE(device_->WriteByteParameter(9));
  EXPECT_EQ(device_->GetStatus(), KorvanStatusModuleError);
  EXPECT_EQ(device_->GetLastAck(), 5);
  EXPECT_EQ(model_.GetParameter(), 0);
  std::string text;
  EXPECT_FALSE(device_->ReadIdentificationText(text));
  EXPECT_EQ(text, "");
}

TEST_F(TKorvanStackDeviceTest, ALateAnswerIsNotTakenForTheNextRequest) {
  device_->SetTimeout(150);
  model_.SetDelay(300);
  EXPECT_FALSE(device_->WriteByteParameter(1));
  // The module answers this one only after the late answer.
  model_.SetDelay(0);
  device_->SetTimeout(2000);
  ASSERT_TRUE(device_->WriteByteParameter(2));
  ASSERT_TRUE(device_->WaitForFrames(1));  // the late answer, routed and ignored
  const auto requests = Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(device_->Frames()[0].SIG, requests[0].SIG);
  EXPECT_NE(requests[0].SIG, requests[1].SIG);
  EXPECT_EQ(device_->GetStatus(), KorvanStatusDone);
  EXPECT_EQ(model_.GetParameter(), 2);
}

TEST_F(TKorvanStackDeviceTest, ARequestWithoutWaitingCallsBackWithTheRequestAndItsAnswer) {
  TAnswerLog log;
  TKorvanFormat97 answer;
  answer.code = 0x77;
  ASSERT_TRUE(device_->Request(0xF3, "", TKorvanAnswerCallback::Bind<&TAnswerLog::OnAnswer>(&log), false, 1000,
                               answer));
  EXPECT_EQ(answer.code, 0);
  ASSERT_TRUE(WaitUntil([&] { return !log.Calls().empty(); }));
  ASSERT_TRUE(peer_->WaitIdle());
  const auto calls = log.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].first.code, 0xF3);
  EXPECT_EQ(calls[0].first.ADR, 0x31);
  EXPECT_EQ(calls[0].second.SIG, calls[0].first.SIG);
  EXPECT_EQ(calls[0].second.data, "Ingra;v1.0;simulated");
  EXPECT_TRUE(device_->Slot(calls[0].first.SIG).free);
}

TEST_F(TKorvanStackDeviceTest, FailingHandlersAreReportedAsE1AndE2) {
  TMessageCapture messages;
  TAnswerLog log;
  TKorvanFormat97 answer;
  ASSERT_TRUE(device_->Request(0xF3, "", TKorvanAnswerCallback::Bind<&TAnswerLog::OnAnswerThrow>(&log), false,
                               1000, answer));
  ASSERT_TRUE(WaitUntil([&] { return messages.Count("TKorvanStackDevice.DoPacketReceive e1") == 1; }));

  device_->throwFromNonAnswer = true;
  line_->Receive(BuildPacket(0x31, 0x99, 0x0C, ""));
  ASSERT_TRUE(WaitUntil([&] { return messages.Count("TKorvanStackDevice.DoPacketReceive e2") == 1; }));
  ASSERT_TRUE(peer_->WaitIdle());
  EXPECT_EQ(messages.Texts().size(), 2u);
}

// A silent module: requests without waiting only reserve their slots.
TEST_F(TKorvanStackDeviceTest, AllocationWaitsForAFreeSlotAndReportsSIGStackOverload) {
  TMessageCapture messages;
  model_.SetSilent(true);
  TKorvanFormat97 answer;
  const auto start = TestClock::now();
  for (int i = 0; i < 256; ++i) ASSERT_TRUE(device_->Request(0xE3, "", {}, false, 300, answer));
  EXPECT_EQ(messages.Count("SIG stack overload"), 0);
  ASSERT_TRUE(device_->Request(0xE4, "", {}, false, 300, answer));
  EXPECT_GE(MsSince(start), 295);
  EXPECT_GE(messages.Count("SIG stack overload"), 1);
  EXPECT_EQ(messages.Count("SIG stack overload"), static_cast<int>(messages.Texts().size()));

  // The overload wait lets go of the slot lock: the answer that frees a slot needs it.
  for (int i = 0; i < 256; ++i) device_->Request(0xE3, "", {}, false, 20000, answer);
  const int before = messages.Count("SIG stack overload");
  std::thread waiting([&] { device_->Request(0xE5, "", {}, false, 20000, answer); });
  ASSERT_TRUE(WaitUntil([&] { return messages.Count("SIG stack overload") > before; }));
  device_->DoPacketReceive(ParsePacket(BuildPacket(0x31, 7, 0, "")));
  EXPECT_TRUE(WaitUntil([&] { return device_->Slot(7).instruction == 0xE5; }, std::chrono::seconds(5)));
  waiting.join();
}

// Requests that cannot go out never report success, waited for or not.
TEST_F(TKorvanStackDeviceTest, NoRequestSucceedsWithoutAnOpenLineOrWithTooMuchData) {
  TKorvanFormat97 answer;
  EXPECT_FALSE(device_->Request(0xE3, std::string(KorvanMaxData + 1, 'x'), {}, false, 100, answer));
  EXPECT_FALSE(device_->Request(0xE3, std::string(KorvanMaxData + 1, 'x'), {}, true, 100, answer));
  EXPECT_TRUE(line_->Written().empty());
  ASSERT_TRUE(line_->Close(false));
  device_->SetAdr(0xFF);  // assigning from 0xFF does not wait
  EXPECT_FALSE(device_->AssignAddress(0x45, 1, 2));
  EXPECT_EQ(device_->GetAdr(), 0xFF);
  EXPECT_TRUE(line_->Written().empty());
}

TEST(TKorvanStackDeviceRegistration, SetStackAddDeviceAndRemoveDeviceEndTheirMutualCalls) {
  auto a = CreateObject<TKorvanStack>();
  auto b = CreateObject<TKorvanStack>();
  auto device = CreateObject<TKorvanStackDevice>(uint8_t{0x31});
  const auto on = [&](TKorvanStack* stack) {
    return device->GetStack().get() == static_cast<IKorvanStack*>(stack) &&
           device->GetParent().get() == static_cast<IInterface*>(static_cast<INodedInterface*>(stack)) &&
           stack->IndexOfChild(static_cast<IKorvanStackDevice*>(device.get())) == 0 && stack->ChildCount() == 1;
  };

  EXPECT_TRUE(a->AddDevice(device.get()));
  EXPECT_TRUE(on(a.get()));
  EXPECT_FALSE(a->AddDevice(device.get()));  // already there
  device->SetStack(a.get());
  EXPECT_TRUE(on(a.get()));

  device->SetStack(b.get());
  EXPECT_TRUE(on(b.get()));
  EXPECT_EQ(a->ChildCount(), 0);
  EXPECT_TRUE(a->AddDevice(device.get()));
  EXPECT_TRUE(on(a.get()));
  EXPECT_EQ(b->ChildCount(), 0);

  a->RemoveDevice(device.get());
  EXPECT_FALSE(device->GetStack());
  EXPECT_FALSE(device->GetParent());
  EXPECT_EQ(a->ChildCount(), 0);
  EXPECT_FALSE(a->RemoveDevice(device.get()));
  EXPECT_FALSE(a->AddDevice(nullptr));
  EXPECT_FALSE(a->RemoveDevice(nullptr));

  device->SetStack(b.get());
  EXPECT_TRUE(on(b.get()));
  device->SetStack(nullptr);
  EXPECT_EQ(b->ChildCount(), 0);
  EXPECT_FALSE(device->GetParent());
}

TEST(TKorvanStackDeviceRegistration, EveryDeviceIsInTheProcessWideListWhileItExists) {
  auto& list = TKorvanStackDeviceList::Instance();
  TListListener listener;
  const auto handler = TevnterKorvanDeviceListChanged::THandler::Bind<&TListListener::OnChanged>(&listener);
  list.OnChanged().Add(handler);
  const int before = list.Count();
  IKorvanStackDevice* raw = nullptr;
  {
    auto device = CreateObject<TKorvanStackDevice>(uint8_t{0x40});
    raw = device.get();
    EXPECT_EQ(list.Count(), before + 1);
    const auto devices = list.Devices();
    EXPECT_NE(std::find(devices.begin(), devices.end(), raw), devices.end());
    EXPECT_EQ(listener.Last(), devices);
  }
  EXPECT_EQ(list.Count(), before);
  const auto devices = list.Devices();
  EXPECT_EQ(std::find(devices.begin(), devices.end(), raw), devices.end());
  EXPECT_EQ(listener.Calls(), 2);
  EXPECT_EQ(listener.Last(), devices);
  list.OnChanged().Remove(handler);
}

class TKorvanStackDeviceXML : public ::testing::Test {
 protected:
  pugi::xml_node Element(const char* adr, const char* fixedSIG = nullptr) {
    pugi::xml_node node = doc_.append_child("device");
    if (adr) node.append_attribute("ADR") = adr;
    if (fixedSIG) node.append_attribute("fixedSIG") = fixedSIG;
    return node;
  }
  uint8_t LoadedAddress(const char* adr) {
    return CreateObject<TKorvanStackDevice>(Element(adr), static_cast<IInterface*>(nullptr))->GetAdr();
  }

  pugi::xml_document doc_;
};

TEST_F(TKorvanStackDeviceXML, AddressTextsAreHexadecimalDecimalOrOneCharacter) {
  EXPECT_EQ(LoadedAddress("#$FE"), 0xFE);
  EXPECT_EQ(LoadedAddress("#$31"), 0x31);
  EXPECT_EQ(LoadedAddress("#49"), 49);
  EXPECT_EQ(LoadedAddress("#$131"), 0x31);  // modulo 256
  EXPECT_EQ(LoadedAddress("A"), 0x41);
  EXPECT_EQ(LoadedAddress("1"), 0x31);
  EXPECT_EQ(LoadedAddress("12"), 0);
  EXPECT_EQ(LoadedAddress(""), 0);
  EXPECT_EQ(LoadedAddress(nullptr), 0xFE);  // no attribute: the universal address
}

TEST_F(TKorvanStackDeviceXML, FixedSIGIsReadWithTheDefaultZero) {
  auto device = CreateObject<TKorvanStackDevice>(Element("#$31", "16"), static_cast<IInterface*>(nullptr));
  EXPECT_EQ(device->GetFixedSIG(), 16);
  device->LoadFromXML(Element("#$31"), true, false);
  EXPECT_EQ(device->GetFixedSIG(), 0);
}

// A failed load must not leave a dangling entry in the process-wide list.
TEST_F(TKorvanStackDeviceXML, AnAddressThatIsNotANumberAfterTheHashFailsTheLoad) {
  auto& list = TKorvanStackDeviceList::Instance();
  const int before = list.Count();
  EXPECT_ANY_THROW(CreateObject<TKorvanStackDevice>(Element("#zz"), static_cast<IInterface*>(nullptr)));
  EXPECT_EQ(list.Count(), before);

  auto device = CreateObject<TKorvanStackDevice>(uint8_t{0x31});
  EXPECT_ANY_THROW(device->LoadFromXML(Element("#$"), true, false));
}

TEST_F(TKorvanStackDeviceXML, SaveWritesTheAddressInHexTheFixedSIGAndTheIdentifier) {
  auto device = CreateObject<TKorvanStackDevice>("{00000000-0000-4000-8000-000000000031}", uint8_t{0x31});
  EXPECT_EQ(device->GetGUIDText(), "{00000000-0000-4000-8000-000000000031}");
  pugi::xml_node node = doc_.append_child("device");
  device->SetXMLNode(node);
  device->SetFixedSIG(5);
  device->SaveToXML();
  EXPECT_STREQ(node.attribute("ADR").value(), "#$31");
  EXPECT_STREQ(node.attribute("fixedSIG").value(), "5");
  EXPECT_STREQ(node.attribute("GUID").value(), "{00000000-0000-4000-8000-000000000031}");

  device->SetAdr(0x0A);
  device->SaveToXML();
  EXPECT_STREQ(node.attribute("ADR").value(), "#$0A");

  // What was saved loads back.
  auto copy = CreateObject<TKorvanStackDevice>(node, static_cast<IInterface*>(nullptr));
  EXPECT_EQ(copy->GetAdr(), 0x0A);
  EXPECT_EQ(copy->GetFixedSIG(), 5);
  EXPECT_EQ(copy->GetGUIDText(), "{00000000-0000-4000-8000-000000000031}");
}

TEST_F(TKorvanStackDeviceXML, CreatedFromAnElementUnderAStackItRegistersThere) {
  auto stack = CreateObject<TKorvanStack>();
  auto device = CreateObject<TKorvanStackDevice>(Element("#$32"), static_cast<IInterface*>(
                                                                        static_cast<INodedInterface*>(stack.get())));
  EXPECT_TRUE(device->GetStack().get() == static_cast<IKorvanStack*>(stack.get()));
  EXPECT_EQ(stack->ChildCount(), 1);
  EXPECT_EQ(device->GetAdr(), 0x32);
  device->SetStack(nullptr);
  EXPECT_EQ(stack->ChildCount(), 0);
}

}  // namespace
