#include "tools/korvan-sim/uSimBus.h"

#include <gtest/gtest.h>

#include "protocol/uKorvan97.h"
#include "tools/korvan-sim/uIngraModel.h"

using namespace korvan::sim;

TEST(TSimBus, CollidingAnswersInterleaveByteByByte) {
  TAnswer a, b;
  a.Pieces = {{5, "AB"}, {0, "C"}};
  b.Pieces = {{20, "xy"}};
  const TAnswer garbled = TSimBus::Collide({a, b});
  ASSERT_EQ(garbled.Pieces.size(), 1u);
  EXPECT_EQ(garbled.Pieces[0].Bytes, "AxByC");
  EXPECT_EQ(garbled.Pieces[0].PauseMs, 20);
}

TEST(TSimBus, AModuleWithARateHearsOnlyAtItAndItsNewRateAppliesAfterTheAnswer) {
  TSimBus bus;
  bus.Add(std::make_unique<TIngraModel>(), 9600);
  const auto frame = [](uint8_t sig, uint8_t code, std::string data = {}) {
    return korvan::BuildPacket(0x31, sig, code, data);
  };
  EXPECT_TRUE(bus.Answer(frame(1, 0xF3), 19200).Empty());
  EXPECT_FALSE(bus.Answer(frame(2, 0xF3), 9600).Empty());
  EXPECT_FALSE(bus.Answer(frame(2, 0xF3), 0).Empty());  // a line without a speed
  EXPECT_FALSE(bus.Answer(frame(3, 0xE4), 9600).Empty());
  EXPECT_FALSE(
      bus.Answer(frame(4, 0xE0, std::string("\x31\x07", 2)), 9600).Empty());  // answered at 9600
  EXPECT_EQ(bus.Rate(0), 19200u);
  EXPECT_TRUE(bus.Answer(frame(5, 0xF3), 9600).Empty());
  EXPECT_FALSE(bus.Answer(frame(6, 0xF3), 19200).Empty());
}
