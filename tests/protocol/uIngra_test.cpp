#include "protocol/uIngra.h"

#include <gtest/gtest.h>

#include "support/TModulePeer.h"
#include "tools/korvan-sim/uIngraModel.h"

using namespace korvan;
using namespace korvan::test;

namespace {

using TIngraTest = TModuleTest<sim::TIngraModel, TIngra>;

std::vector<uint8_t> Codes(const std::vector<TKorvanFormat97>& frames) {
  std::vector<uint8_t> codes;
  for (const auto& f : frames) codes.push_back(f.code);
  return codes;
}

TEST_F(TIngraTest, GetRangesReadsTheFourCodesInInputOrder) {
  model_.SetCodes({2, 1, 2, 1});
  TIngraRanges ranges{};
  ASSERT_TRUE(device_->GetRanges(ranges));
  EXPECT_EQ(ranges, (TIngraRanges{2, 1, 2, 1}));
  const auto requests = Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].ADR, 0x31);
  EXPECT_EQ(requests[0].code, 0x1B);
  EXPECT_TRUE(requests[0].data.empty());
}

TEST_F(TIngraTest, SetRangesEnablesConfigurationAndThenWritesTheTaggedCodes) {
  model_.SetCodes({2, 2, 2, 2});
  ASSERT_TRUE(device_->SetRanges({1, 1, 1, 1}));
  auto requests = Requests();
  ASSERT_EQ(Codes(requests), (std::vector<uint8_t>{0xE4, 0x1A}));
  EXPECT_TRUE(requests[0].data.empty());
  EXPECT_EQ(Hex(requests[1].data), "01 01 02 01 03 01 04 01");
  EXPECT_EQ(model_.GetCodes(), (sim::TIngraModel::TCodes{1, 1, 1, 1}));

  ASSERT_TRUE(device_->SetRanges({2, 1, 1, 2}));
  requests = Requests();
  EXPECT_EQ(Hex(requests.back().data), "01 02 02 01 03 01 04 02");
  EXPECT_EQ(model_.GetCodes(), (sim::TIngraModel::TCodes{2, 1, 1, 2}));

  TIngraRanges ranges{};
  ASSERT_TRUE(device_->GetRanges(ranges));
  EXPECT_EQ(ranges, (TIngraRanges{2, 1, 1, 2}));
}

TEST_F(TIngraTest, SetRangesSendsNoCodesWhenConfigurationIsRefused) {
  ScriptAnswer(1, "");
  EXPECT_FALSE(device_->SetRanges({1, 1, 1, 1}));
  EXPECT_EQ(Codes(Requests()), (std::vector<uint8_t>{0xE4}));
}

TEST_F(TIngraTest, SetRangesFailsWhenTheModuleRefusesTheCodes) {
  model_.SetKind(sim::TIngraKind::Voltage);
  EXPECT_FALSE(device_->SetRanges({1, 1, 1, 1}));  // current ranges on a voltage module
  EXPECT_EQ(Codes(Requests()), (std::vector<uint8_t>{0xE4, 0x1A}));
  EXPECT_EQ(device_->GetLastAck(), 3);
  EXPECT_EQ(model_.GetCodes(), (sim::TIngraModel::TCodes{0, 0, 0, 0}));
}

TEST_F(TIngraTest, GetRangesAcceptsOnlyEightBytesTaggedOneToFour) {
  TIngraRanges ranges{0xEE, 0xEE, 0xEE, 0xEE};
  ScriptAnswer(0, Bytes({1, 0, 2, 0, 3, 0, 4, 0}));
  ASSERT_TRUE(device_->GetRanges(ranges));
  EXPECT_EQ(ranges, (TIngraRanges{0, 0, 0, 0}));

  for (const std::string& wrong : {Bytes({1, 0, 3, 0, 3, 0, 4, 0}), Bytes({4, 0, 3, 0, 2, 0, 1, 0}),
                                   Bytes({1, 0, 2, 0, 3, 0, 4}), Bytes({1, 0, 2, 0, 3, 0, 4, 0, 5}), std::string()}) {
    ScriptAnswer(0, wrong);
    EXPECT_FALSE(device_->GetRanges(ranges)) << Hex(wrong);
  }
  ScriptAnswer(2, Bytes({1, 0, 2, 0, 3, 0, 4, 0}));
  EXPECT_FALSE(device_->GetRanges(ranges));
  EXPECT_EQ(device_->GetStatus(), KorvanStatusModuleError);
}

TEST_F(TIngraTest, ASpoiltAnswerFailsGetRangesAndARetryReadsThem) {
  device_->SetTimeout(150);
  model_.SetCodes({1, 2, 1, 2});
  model_.SpoilNextChecksum();
  TIngraRanges ranges{};
  EXPECT_FALSE(device_->GetRanges(ranges));
  device_->SetTimeout(1000);
  ASSERT_TRUE(device_->GetRanges(ranges));
  EXPECT_EQ(ranges, (TIngraRanges{1, 2, 1, 2}));
}

}  // namespace
