#include "protocol/uOutra.h"

#include <gtest/gtest.h>

#include "support/TModulePeer.h"
#include "tools/korvan-sim/uOutraModel.h"

using namespace korvan;
using namespace korvan::test;

namespace {

class TOutraTest : public TModuleTest<sim::TOutraModel, TOutra> {
 protected:
  // The one request written since the last call, as "code: data".
  std::string OnlyRequest() {
    const auto requests = Requests();
    line_->ClearWritten();
    if (requests.size() != 1) return std::to_string(requests.size()) + " requests";
    return Hex(std::string(1, static_cast<char>(requests[0].code))) + ": " + Hex(requests[0].data);
  }
  bool NothingWritten() { return line_->Written().empty(); }
};

TEST_F(TOutraTest, SetOutputsSendsRawOrScaledValuesAndLeavesOutMinusOne) {
  ASSERT_TRUE(device_->SetOutputs(1234, 4000, true));
  EXPECT_EQ(OnlyRequest(), "40: 01 04 D2 02 0F A0");
  EXPECT_EQ(model_.GetOutputRaw(1), 1234);
  EXPECT_EQ(model_.GetOutputRaw(2), 4000);

  ASSERT_TRUE(device_->SetOutputs(10000, -1, false));
  EXPECT_EQ(OnlyRequest(), "42: 01 27 10");
  EXPECT_EQ(model_.GetOutputScaled(1), 10000);
  EXPECT_EQ(model_.GetOutputRaw(2), 4000);

  ASSERT_TRUE(device_->SetOutputs(-1, 0, true));
  EXPECT_EQ(OnlyRequest(), "40: 02 00 00");
  EXPECT_EQ(model_.GetOutputRaw(2), 0);
}

TEST_F(TOutraTest, SetOutputsRefusesValuesBeyondItsLimitsWithoutSending) {
  EXPECT_FALSE(device_->SetOutputs(4096, -1, true));
  EXPECT_FALSE(device_->SetOutputs(-1, 4096, true));
  EXPECT_FALSE(device_->SetOutputs(-2, 0, true));
  EXPECT_FALSE(device_->SetOutputs(10000, -1, true));
  EXPECT_FALSE(device_->SetOutputs(10001, -1, false));
  EXPECT_FALSE(device_->SetOutputs(0, -2, false));
  EXPECT_TRUE(NothingWritten());
}

TEST_F(TOutraTest, GetOutputsReadsRawOrScaledValues) {
  model_.SetOutputRaw(1, 100);
  model_.SetOutputScaled(2, 7500);
  int v1 = -1, v2 = -1;
  ASSERT_TRUE(device_->GetOutputs(v1, v2, true));
  EXPECT_EQ(OnlyRequest(), "41: ");
  EXPECT_EQ(v1, 100);
  EXPECT_EQ(v2, model_.GetOutputRaw(2));
  ASSERT_TRUE(device_->GetOutputs(v1, v2, false));
  EXPECT_EQ(OnlyRequest(), "43: ");
  EXPECT_EQ(v1, model_.GetOutputScaled(1));
  EXPECT_EQ(v2, 7500);
}

TEST_F(TOutraTest, SetRangeWritesOneOutputAndRefusesBadOutputsAndCodes) {
  ASSERT_TRUE(device_->SetRange(2, 7));
  EXPECT_EQ(OnlyRequest(), "C0: 02 07");
  EXPECT_EQ(model_.GetRange(2), 7);
  EXPECT_EQ(model_.GetRange(1), 1);

  EXPECT_FALSE(device_->SetRange(0, 1));
  EXPECT_FALSE(device_->SetRange(3, 1));
  EXPECT_FALSE(device_->SetRange(1, 0));
  EXPECT_FALSE(device_->SetRange(1, 8));
  EXPECT_TRUE(NothingWritten());
}

TEST_F(TOutraTest, SetRangesAlwaysSendsBothCodesAndRefusesCodesOutsideOneToSeven) {
  ASSERT_TRUE(device_->SetRanges(5, 5));
  EXPECT_EQ(OnlyRequest(), "C0: 01 05 02 05");
  EXPECT_EQ(model_.GetRange(1), 5);
  EXPECT_EQ(model_.GetRange(2), 5);

  EXPECT_FALSE(device_->SetRanges(0, 5));
  EXPECT_FALSE(device_->SetRanges(5, 8));
  EXPECT_FALSE(device_->SetRanges(-1, 5));
  EXPECT_TRUE(NothingWritten());
}

TEST_F(TOutraTest, GetRangesReadsBothCodes) {
  model_.SetRange(1, 3);
  model_.SetRange(2, 6);
  uint8_t c1 = 0, c2 = 0;
  ASSERT_TRUE(device_->GetRanges(c1, c2));
  EXPECT_EQ(OnlyRequest(), "C1: ");
  EXPECT_EQ(c1, 3);
  EXPECT_EQ(c2, 6);
}

TEST_F(TOutraTest, SetWatchDogTimeoutsSends24BitSecondsAndRefusesMoreThanADay) {
  ASSERT_TRUE(device_->SetWatchDogTimeouts(86400, 0));
  EXPECT_EQ(OnlyRequest(), "C2: 01 01 51 80 02 00 00 00");
  EXPECT_EQ(model_.GetWatchDogTimeout(1), 86400u);
  EXPECT_EQ(model_.GetWatchDogTimeout(2), 0u);

  ASSERT_TRUE(device_->SetWatchDogTimeouts(-1, 60));
  EXPECT_EQ(OnlyRequest(), "C2: 02 00 00 3C");
  EXPECT_EQ(model_.GetWatchDogTimeout(1), 86400u);

  EXPECT_FALSE(device_->SetWatchDogTimeouts(86401, 0));
  EXPECT_FALSE(device_->SetWatchDogTimeouts(0, 86401));
  EXPECT_FALSE(device_->SetWatchDogTimeouts(0, -2));
  EXPECT_TRUE(NothingWritten());
}

TEST_F(TOutraTest, GetWatchDogTimeoutsReads24BitSeconds) {
  model_.SetWatchDogTimeout(1, 60);
  model_.SetWatchDogTimeout(2, 0x012345);
  int t1 = -1, t2 = -1;
  ASSERT_TRUE(device_->GetWatchDogTimeouts(t1, t2));
  EXPECT_EQ(OnlyRequest(), "C3: ");
  EXPECT_EQ(t1, 60);
  EXPECT_EQ(t2, 0x012345);

  ScriptAnswer(0, Bytes({1, 0, 0, 0x3C, 2, 0, 0, 0}));
  ASSERT_TRUE(device_->GetWatchDogTimeouts(t1, t2));
  EXPECT_EQ(t1, 60);
  EXPECT_EQ(t2, 0);
}

TEST_F(TOutraTest, SetWatchDogValueWritesOneOutputWithin12Bits) {
  ASSERT_TRUE(device_->SetWatchDogValue(1, 4095));
  EXPECT_EQ(OnlyRequest(), "C4: 01 0F FF");
  ASSERT_TRUE(device_->SetWatchDogValue(2, 0));
  EXPECT_EQ(OnlyRequest(), "C4: 02 00 00");
  EXPECT_EQ(model_.GetWatchDogValue(1), 4095);
  EXPECT_EQ(model_.GetWatchDogValue(2), 0);

  EXPECT_FALSE(device_->SetWatchDogValue(0, 1));
  EXPECT_FALSE(device_->SetWatchDogValue(3, 1));
  EXPECT_FALSE(device_->SetWatchDogValue(1, 4096));
  EXPECT_FALSE(device_->SetWatchDogValue(1, -1));
  EXPECT_TRUE(NothingWritten());
}

TEST_F(TOutraTest, SetWatchDogValuesSendsOneRequestPerGivenOutputAndStopsAtTheFirstFailure) {
  ASSERT_TRUE(device_->SetWatchDogValues(4095, -1));
  EXPECT_EQ(OnlyRequest(), "C4: 01 0F FF");
  ASSERT_TRUE(device_->SetWatchDogValues(-1, -1));
  EXPECT_TRUE(NothingWritten());

  ASSERT_TRUE(device_->SetWatchDogValues(100, 200));
  auto requests = Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(Hex(requests[0].data), "01 00 64");
  EXPECT_EQ(Hex(requests[1].data), "02 00 C8");
  EXPECT_EQ(model_.GetWatchDogValue(1), 100);
  EXPECT_EQ(model_.GetWatchDogValue(2), 200);
  line_->ClearWritten();

  EXPECT_FALSE(device_->SetWatchDogValues(5000, 1));
  EXPECT_TRUE(NothingWritten());
  EXPECT_FALSE(device_->SetWatchDogValues(1, 5000));
  EXPECT_EQ(OnlyRequest(), "C4: 01 00 01");

  model_.SetForcedAck(1);
  EXPECT_FALSE(device_->SetWatchDogValues(7, 8));
  EXPECT_EQ(OnlyRequest(), "C4: 01 00 07");
  EXPECT_EQ(model_.GetWatchDogValue(2), 200);
}

TEST_F(TOutraTest, GetWatchDogValuesReadsBothValues) {
  model_.SetWatchDogValue(1, 0x0ABC);
  model_.SetWatchDogValue(2, 17);
  int v1 = -1, v2 = -1;
  ASSERT_TRUE(device_->GetWatchDogValues(v1, v2));
  EXPECT_EQ(OnlyRequest(), "C5: ");
  EXPECT_EQ(v1, 0x0ABC);
  EXPECT_EQ(v2, 17);
}

// Only the length of an answer is checked, not its tag bytes.
TEST_F(TOutraTest, AnswersOfAnotherLengthFailAndTagBytesAreNotChecked) {
  uint8_t c1 = 0, c2 = 0;
  int a = 0, b = 0;
  ScriptAnswer(0, Bytes({9, 4, 9, 6}));
  ASSERT_TRUE(device_->GetRanges(c1, c2));
  EXPECT_EQ(c1, 4);
  EXPECT_EQ(c2, 6);
  ScriptAnswer(0, Bytes({1, 4, 2}));
  EXPECT_FALSE(device_->GetRanges(c1, c2));

  ScriptAnswer(0, Bytes({1, 0, 0, 0x3C, 2, 0, 0}));
  EXPECT_FALSE(device_->GetWatchDogTimeouts(a, b));
  ScriptAnswer(0, Bytes({1, 0, 5, 2, 0, 6, 0}));
  EXPECT_FALSE(device_->GetWatchDogValues(a, b));
  EXPECT_FALSE(device_->GetOutputs(a, b, true));
  EXPECT_FALSE(device_->GetOutputs(a, b, false));

  ScriptAnswer(0, Bytes({0, 0, 5, 0, 0, 6}));
  ASSERT_TRUE(device_->GetWatchDogValues(a, b));
  EXPECT_EQ(a, 5);
  EXPECT_EQ(b, 6);
  ScriptAnswer(4, Bytes({1, 0, 5, 2, 0, 6}));
  EXPECT_FALSE(device_->GetWatchDogValues(a, b));
  EXPECT_FALSE(device_->SetRanges(1, 1));
}

}  // namespace
