#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include "protocol/uKorvan97.h"
#include "support/THex.h"
#include "support/TKorvanFrames.h"
#include "support/TTestLine.h"
#include "tools/korvan-sim/uFrameCutter.h"
#include "tools/korvan-sim/uIngraModel.h"
#include "tools/korvan-sim/uOutraModel.h"

using namespace korvan;
using korvan::test::Bytes;
using korvan::test::Hex;
using korvan::test::ValidFrames;
using namespace korvan::sim;

namespace {

constexpr uint8_t Adr = 0x31;
constexpr uint8_t Sig = 0x5C;

// The frames of an answer in order; a test fails on bytes that are not whole
// valid frames.
std::vector<TKorvanFormat97> Frames(const TAnswer& answer) { return ValidFrames(answer.Bytes()); }

// Sends one request and returns the only frame of the answer; a missing or
// extra frame fails the test and gives code 0xFF.
TKorvanFormat97 Ask(TModuleModel& model, uint8_t code, const std::string& data = {},
                    uint8_t adr = Adr, uint8_t sig = Sig) {
  const std::vector<TKorvanFormat97> frames =
      Frames(model.Answer(BuildPacket(adr, sig, code, data)));
  if (frames.size() != 1) {
    ADD_FAILURE() << "instruction " << Hex(std::string(1, static_cast<char>(code))) << " got "
                  << frames.size() << " frames";
    TKorvanFormat97 none;
    none.code = 0xFF;
    return none;
  }
  return frames.front();
}

uint8_t AckOf(TModuleModel& model, uint8_t code, const std::string& data = {}) {
  return Ask(model, code, data).code;
}

// Acknowledge and data together, for compact expectations.
std::string Reply(TModuleModel& model, uint8_t code, const std::string& data = {}) {
  const TKorvanFormat97 answer = Ask(model, code, data);
  return Hex(std::string(1, static_cast<char>(answer.code)) + answer.data);
}

bool Quiet(TModuleModel& model, const std::string& request) {
  return model.Answer(request).Empty();
}

}  // namespace

// ---------------------------------------------------------------------------
// What both modules share, run against each model.

template <class T>
class TModuleModelCommon : public ::testing::Test {
 protected:
  T model;
  static std::string Name() { return std::is_same_v<T, TIngraModel> ? "Ingra" : "Outra"; }
};
struct TModelNames {
  template <class T>
  static std::string GetName(int) {
    return std::is_same_v<T, TIngraModel> ? "Ingra" : "Outra";
  }
};
using TModels = ::testing::Types<TIngraModel, TOutraModel>;
TYPED_TEST_SUITE(TModuleModelCommon, TModels, TModelNames);

TYPED_TEST(TModuleModelCommon, IdentifiesItselfWithTheRequestsSigAndItsOwnAddress) {
  const TKorvanFormat97 a = Ask(this->model, 0xF3, {}, Adr, 0xA7);
  EXPECT_EQ(a.ADR, Adr);
  EXPECT_EQ(a.SIG, 0xA7);
  EXPECT_EQ(a.code, 0);
  EXPECT_EQ(a.data, this->Name() + ";v1.0;simulated");

  // Asked through the universal address it still answers with its own.
  const TKorvanFormat97 b = Ask(this->model, 0xF3, {}, KorvanUniversalAddress, 0x00);
  EXPECT_EQ(b.ADR, Adr);
  EXPECT_EQ(b.SIG, 0x00);
}

TYPED_TEST(TModuleModelCommon, AnswersOnlyItsOwnAddressAndTheUniversalOne) {
  auto& m = this->model;
  EXPECT_TRUE(Quiet(m, BuildPacket(0x32, 1, 0xF3, "")));
  EXPECT_TRUE(Quiet(m, BuildPacket(0xFF, 1, 0xF3, "")));

  m.SetAddress(0x32);
  EXPECT_TRUE(Quiet(m, BuildPacket(0x31, 1, 0xF3, "")));
  EXPECT_EQ(Ask(m, 0xF3, {}, 0x32).ADR, 0x32);
  EXPECT_EQ(Ask(m, 0xF3, {}, 0xFE).ADR, 0x32);
}

TYPED_TEST(TModuleModelCommon, IgnoresBrokenFramesAndDoesNotCarryThemOut) {
  auto& m = this->model;
  std::string badChecksum = BuildPacket(Adr, 1, 0xE1, Bytes({0x77}));
  badChecksum[badChecksum.size() - 2] ^= 1;
  std::string badEnd = BuildPacket(Adr, 1, 0xE1, Bytes({0x77}));
  badEnd.back() = 0x0A;
  std::string eightBytes = Bytes({0x2A, 0x61, 0x00, 0x04, Adr, 0x01});
  eightBytes += static_cast<char>(PacketChecksum(eightBytes));
  eightBytes += '\x0D';
  ASSERT_EQ(CheckPacket(eightBytes), 0);

  EXPECT_TRUE(Quiet(m, badChecksum));
  EXPECT_TRUE(Quiet(m, badEnd));
  EXPECT_TRUE(Quiet(m, eightBytes));
  EXPECT_TRUE(
      Quiet(m, BuildPacket(Adr, 1, 0xF3, "") + '\x0D'));  // trailing byte: length test fails
  EXPECT_TRUE(Quiet(m, ""));
  EXPECT_EQ(m.GetParameter(), 0);
}

TYPED_TEST(TModuleModelCommon, ReportsAddressAndBaudCode) {
  EXPECT_EQ(Reply(this->model, 0xF0), "00 31 06");
  this->model.SetBaudCode(10);
  EXPECT_EQ(Reply(this->model, 0xF0), "00 31 0A");
}

// The program's address change: read 0xF0, replace the address, 0xE4, then 0xE0
// with the modified data, still sent to the old address.
TYPED_TEST(TModuleModelCommon, ChangesAddressAndBaudAfterEnableConfiguration) {
  auto& m = this->model;
  std::string data = Ask(m, 0xF0).data;
  data[0] = 0x45;
  EXPECT_EQ(AckOf(m, 0xE4), 0);
  const TKorvanFormat97 a = Ask(m, 0xE0, data);
  EXPECT_EQ(a.code, 0);
  EXPECT_EQ(a.ADR, Adr) << "the answer must reach a requester that still uses the old address";
  EXPECT_EQ(m.GetAddress(), 0x45);
  EXPECT_EQ(m.GetBaudCode(), 6);

  EXPECT_TRUE(Quiet(m, BuildPacket(Adr, 1, 0xF3, "")));
  EXPECT_EQ(Ask(m, 0xE4, {}, 0x45).code, 0);
  EXPECT_EQ(Ask(m, 0xE0, Bytes({0x45, 11}), 0x45).code, 0);
  EXPECT_EQ(m.GetBaudCode(), 11);
}

TYPED_TEST(TModuleModelCommon, RefusesAddressChangesThatAreNotEnabledOrInvalid) {
  auto& m = this->model;
  EXPECT_EQ(AckOf(m, 0xE0, Bytes({0x45, 6})), 4);

  for (const std::string& data : {Bytes({0x45, 12}), Bytes({0xFE, 6}), Bytes({0xFF, 6}),
                                  Bytes({0x45}), Bytes({0x45, 6, 0}), std::string()}) {
    ASSERT_EQ(AckOf(m, 0xE4), 0);
    EXPECT_EQ(AckOf(m, 0xE0, data), 3) << Hex(data);
  }
  EXPECT_EQ(m.GetAddress(), Adr);
  EXPECT_EQ(m.GetBaudCode(), 6);
}

TYPED_TEST(TModuleModelCommon, EnableConfigurationHoldsForTheNextRequestOnly) {
  auto& m = this->model;
  ASSERT_EQ(AckOf(m, 0xE4), 0);
  EXPECT_TRUE(m.GetConfigurationEnabled());
  EXPECT_EQ(AckOf(m, 0xF3), 0);
  EXPECT_FALSE(m.GetConfigurationEnabled());
  EXPECT_EQ(AckOf(m, 0xE0, Bytes({0x45, 6})), 4);

  // A refused request uses it up too.
  ASSERT_EQ(AckOf(m, 0xE4), 0);
  EXPECT_EQ(AckOf(m, 0x77), 2);
  EXPECT_EQ(AckOf(m, 0xE0, Bytes({0x45, 6})), 4);

  // Frames that are not for this module are not requests to it.
  ASSERT_EQ(AckOf(m, 0xE4), 0);
  EXPECT_TRUE(Quiet(m, BuildPacket(0x32, 1, 0xF3, "")));
  std::string broken = BuildPacket(Adr, 1, 0xF3, "");
  broken[7] ^= 1;
  EXPECT_TRUE(Quiet(m, broken));
  EXPECT_EQ(AckOf(m, 0xE0, Bytes({0x45, 6})), 0);
  EXPECT_EQ(m.GetAddress(), 0x45);
}

TYPED_TEST(TModuleModelCommon, KeepsTheOneByteParameterFlagAndText) {
  auto& m = this->model;
  EXPECT_EQ(Reply(m, 0xF1), "00 00");
  EXPECT_EQ(AckOf(m, 0xE1, Bytes({0xA5})), 0);
  EXPECT_EQ(Reply(m, 0xF1), "00 A5");

  EXPECT_EQ(Reply(m, 0xFE), "00 00");
  EXPECT_EQ(AckOf(m, 0xEE, Bytes({0x01})), 0);
  EXPECT_EQ(Reply(m, 0xFE), "00 01");
  EXPECT_TRUE(m.GetFlag());
  EXPECT_EQ(AckOf(m, 0xEE, Bytes({0x00})), 0);
  EXPECT_FALSE(m.GetFlag());

  // The program writes 0x00, the text cut to 16 bytes, and a closing 0x00 when shorter.
  EXPECT_EQ(AckOf(m, 0xE2, std::string("\0Hala 3\0", 8)), 0);
  EXPECT_EQ(Ask(m, 0xF2).data, "Hala 3");
  EXPECT_EQ(AckOf(m, 0xE2, std::string(1, '\0') + "0123456789ABCDEF"), 0);
  EXPECT_EQ(Ask(m, 0xF2).data, "0123456789ABCDEF");
  EXPECT_EQ(AckOf(m, 0xE2, Bytes({0, 0})), 0);
  EXPECT_EQ(Ask(m, 0xF2).data, "");
}

TYPED_TEST(TModuleModelCommon, RefusesMalformedParameterFlagAndTextWrites) {
  auto& m = this->model;
  m.SetText("keep");
  EXPECT_EQ(AckOf(m, 0xE1, ""), 3);
  EXPECT_EQ(AckOf(m, 0xE1, Bytes({1, 2})), 3);
  EXPECT_EQ(AckOf(m, 0xEE, Bytes({2})), 3);
  EXPECT_EQ(AckOf(m, 0xEE, ""), 3);
  EXPECT_EQ(AckOf(m, 0xE2, Bytes({0})), 3);
  EXPECT_EQ(AckOf(m, 0xE2,
                  std::string("\x01"
                              "abc\0",
                              5)),
            3);                                                // not starting with 0x00
  EXPECT_EQ(AckOf(m, 0xE2, std::string(1, '\0') + "abc"), 3);  // short text not closed
  EXPECT_EQ(AckOf(m, 0xE2, std::string(1, '\0') + std::string(16, 'x') + '\0'), 3);  // 18 bytes
  EXPECT_EQ(m.GetParameter(), 0);
  EXPECT_FALSE(m.GetFlag());
  EXPECT_EQ(m.GetText(), "keep");
}

TYPED_TEST(TModuleModelCommon, ReportsItsNumbersBigEndian) {
  auto& m = this->model;
  EXPECT_EQ(Reply(m, 0xFA), "00 00 00 00 00 00 00 00 00");
  m.SetNumbers({0x1234, 0xABCD, 0x01020304});
  EXPECT_EQ(Reply(m, 0xFA), "00 12 34 AB CD 01 02 03 04");
}

// The program sends 0xEB to the universal address; only the module whose
// numbers match may take it.
TYPED_TEST(TModuleModelCommon, AssignsAnAddressOnlyWhenItsNumbersMatch) {
  auto& m = this->model;
  m.SetNumbers({0x1234, 0x5678, 9});
  EXPECT_TRUE(Quiet(m, BuildPacket(0xFE, 1, 0xEB, Bytes({0x45, 0x12, 0x34, 0x56, 0x79}))));
  EXPECT_TRUE(Quiet(m, BuildPacket(0xFE, 1, 0xEB, Bytes({0x45, 0x56, 0x78, 0x12, 0x34}))));
  EXPECT_EQ(m.GetAddress(), Adr);

  EXPECT_EQ(Ask(m, 0xEB, Bytes({0x45, 0x12}), 0xFE).code, 3);
  EXPECT_EQ(Ask(m, 0xEB, Bytes({0xFF, 0x12, 0x34, 0x56, 0x78}), 0xFE).code, 3);

  const TKorvanFormat97 a = Ask(m, 0xEB, Bytes({0x45, 0x12, 0x34, 0x56, 0x78}), 0xFE);
  EXPECT_EQ(a.code, 0);
  EXPECT_EQ(a.ADR, Adr);
  EXPECT_EQ(m.GetAddress(), 0x45);
}

TYPED_TEST(TModuleModelCommon, CountsTheCommandWithoutData) {
  EXPECT_EQ(AckOf(this->model, 0xE3), 0);
  EXPECT_EQ(AckOf(this->model, 0xE3), 0);
  EXPECT_EQ(AckOf(this->model, 0xE3, Bytes({1})), 3);
  EXPECT_EQ(this->model.GetCommandCount(), 2);
}

TYPED_TEST(TModuleModelCommon, RefusesUnknownInstructionsWithTwoAndNoData) {
  // 0x1B and 0xC1 belong to the other module.
  for (int code : {0x00, 0x77, 0xFF, 0x0D, std::is_same_v<TypeParam, TIngraModel> ? 0xC1 : 0x1B}) {
    const TKorvanFormat97 a = Ask(this->model, static_cast<uint8_t>(code), Bytes({1, 2}));
    EXPECT_EQ(a.code, 2) << code;
    EXPECT_TRUE(a.data.empty());
  }
}

TYPED_TEST(TModuleModelCommon, RefusesDataOnReadInstructions) {
  for (int code : {0xF3, 0xE4, 0xF0, 0xF1, 0xF2, 0xFE, 0xFA}) {
    const TKorvanFormat97 a = Ask(this->model, static_cast<uint8_t>(code), Bytes({0}));
    EXPECT_EQ(a.code, 3) << code;
    EXPECT_TRUE(a.data.empty()) << code;
  }
  EXPECT_FALSE(this->model.GetConfigurationEnabled());
}

// ---------------------------------------------------------------------------
// Fault switches.

class TModuleModelFaults : public ::testing::Test {
 protected:
  TIngraModel model;
  const std::string request = BuildPacket(Adr, 0x21, 0xF3, "");
  const std::string answer = BuildPacket(Adr, 0x21, 0x00, "Ingra;v1.0;simulated");
};

TEST_F(TModuleModelFaults, WithoutFaultsTheAnswerIsOnePieceAtOnce) {
  const TAnswer a = model.Answer(request);
  ASSERT_EQ(a.Pieces.size(), 1u);
  EXPECT_EQ(a.Pieces[0].PauseMs, 0);
  EXPECT_EQ(Hex(a.Pieces[0].Bytes), Hex(answer));
}

TEST_F(TModuleModelFaults, DelayComesBeforeTheFirstByte) {
  model.SetDelay(700);
  const TAnswer a = model.Answer(request);
  ASSERT_EQ(a.Pieces.size(), 1u);
  EXPECT_EQ(a.Pieces[0].PauseMs, 700);
  EXPECT_EQ(a.Bytes(), answer);
}

TEST_F(TModuleModelFaults, NoiseGoesAheadOfTheAnswer) {
  const std::string noise = Bytes({0x2A, 0x00, 0x0D, 0x2A, 0x61, 0xFF});
  model.SetDelay(50);
  model.SetNoise(noise);
  const TAnswer a = model.Answer(request);
  ASSERT_EQ(a.Pieces.size(), 2u);
  EXPECT_EQ(a.Pieces[0].PauseMs, 50)
      << "the delay comes before the noise, not between noise and answer";
  EXPECT_EQ(a.Pieces[0].Bytes, noise);
  EXPECT_EQ(a.Pieces[1].PauseMs, 0);
  EXPECT_EQ(a.Pieces[1].Bytes, answer);
}

TEST_F(TModuleModelFaults, SplitAnswerComesInTwoIncompleteHalvesWithThePauseBetween) {
  model.SetSplit(120);
  const TAnswer a = model.Answer(request);
  ASSERT_EQ(a.Pieces.size(), 2u);
  EXPECT_EQ(a.Pieces[0].PauseMs, 0);
  EXPECT_EQ(a.Pieces[1].PauseMs, 120);
  EXPECT_EQ(a.Bytes(), answer);
  EXPECT_EQ(CompletePacketLength(a.Pieces[0].Bytes), 0u);
  EXPECT_FALSE(a.Pieces[1].Bytes.empty());

  // Even the shortest answer splits.
  const TAnswer b = model.Answer(BuildPacket(Adr, 1, 0xE3, ""));
  ASSERT_EQ(b.Pieces.size(), 2u);
  EXPECT_EQ(CompletePacketLength(b.Pieces[0].Bytes), 0u);
  EXPECT_EQ(b.Bytes(), BuildPacket(Adr, 1, 0, ""));
}

TEST_F(TModuleModelFaults, BadChecksumSpoilsTheFirstAnswerOnly) {
  model.SpoilNextChecksum();
  const std::string first = model.Answer(request).Bytes();
  EXPECT_EQ(CheckPacket(first), 5);
  EXPECT_EQ(first.substr(0, first.size() - 2), answer.substr(0, answer.size() - 2))
      << "only the checksum differs";
  EXPECT_FALSE(model.GetFaults().BadChecksumOnce);
  EXPECT_EQ(model.Answer(request).Bytes(), answer);
  EXPECT_EQ(model.Answer(request).Bytes(), answer);
}

TEST_F(TModuleModelFaults, BadChecksumWaitsForARequestThatIsAnswered) {
  model.SpoilNextChecksum();
  model.SetSilent(true);
  EXPECT_TRUE(model.Answer(request).Empty());
  EXPECT_TRUE(Quiet(model, BuildPacket(0x32, 1, 0xF3, "")));
  model.SetSilent(false);
  EXPECT_TRUE(Quiet(model, BuildPacket(0x32, 1, 0xF3, "")));
  EXPECT_EQ(CheckPacket(model.Answer(request).Bytes()), 5);
}

TEST_F(TModuleModelFaults, SilentModuleNeitherAnswersNorCarriesOut) {
  model.SetSilent(true);
  EXPECT_TRUE(model.Answer(request).Empty());
  EXPECT_TRUE(model.Answer(BuildPacket(Adr, 2, 0xE1, Bytes({7}))).Empty());
  EXPECT_TRUE(model.Answer(BuildPacket(Adr, 3, 0xE4, "")).Empty());
  EXPECT_EQ(model.GetParameter(), 0);
  EXPECT_FALSE(model.GetConfigurationEnabled());

  model.ClearFaults();
  EXPECT_EQ(model.Answer(request).Bytes(), answer);
}

TEST_F(TModuleModelFaults, NoticeWithTheRequestsSigGoesBeforeTheRealAnswer) {
  model.SetNoticeBeforeAnswer(true);
  const std::vector<TKorvanFormat97> frames = Frames(model.Answer(request));
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].ADR, Adr);
  EXPECT_EQ(frames[0].SIG, 0x21);
  EXPECT_EQ(frames[0].code, 0x0D);
  EXPECT_TRUE(frames[0].data.empty());
  EXPECT_EQ(frames[1].code, 0);
  EXPECT_EQ(frames[1].data, "Ingra;v1.0;simulated");
}

TEST_F(TModuleModelFaults, ForcedAcknowledgeRefusesEverythingWithoutCarryingItOut) {
  model.SetForcedAck(5);
  for (uint8_t code : {0xF3, 0x1B, 0xE4, 0x77}) {
    const TKorvanFormat97 a = Ask(model, code);
    EXPECT_EQ(a.code, 5);
    EXPECT_TRUE(a.data.empty());
  }
  EXPECT_FALSE(model.GetConfigurationEnabled());

  model.SetForcedAck(0);
  EXPECT_EQ(Reply(model, 0xF3), "00");
  model.ClearFaults();
  EXPECT_EQ(AckOf(model, 0xE0, Bytes({0x45, 6})), 4) << "a forced 0xE4 enabled nothing";
}

TEST_F(TModuleModelFaults, SwitchesCombineInLineOrder) {
  TFaults f;
  f.DelayMs = 30;
  f.Noise = "xy";
  f.SplitPauseMs = 40;
  f.BadChecksumOnce = true;
  f.NoticeBeforeAnswer = true;
  f.Suffix = "z";
  model.SetFaults(f);
  const TAnswer a = model.Answer(request);
  ASSERT_EQ(a.Pieces.size(), 5u);
  EXPECT_EQ(a.Pieces[4].Bytes, "z") << "the suffix comes last";
  EXPECT_EQ(a.Pieces[0].PauseMs, 30);
  EXPECT_EQ(a.Pieces[0].Bytes, "xy");
  EXPECT_EQ(a.Pieces[1].PauseMs, 0);
  EXPECT_EQ(a.Pieces[1].Bytes, BuildPacket(Adr, 0x21, 0x0D, "")) << "the notice is sent intact";
  EXPECT_EQ(a.Pieces[2].PauseMs, 0);
  EXPECT_EQ(a.Pieces[3].PauseMs, 40);
  EXPECT_EQ(CheckPacket(a.Pieces[2].Bytes + a.Pieces[3].Bytes), 5);
}

TEST_F(TModuleModelFaults, FaultsAndStateMayChangeWhileAnotherThreadIsAnswering) {
  std::atomic<bool> stop{false};
  std::atomic<int> answered{0};
  std::thread line([&] {
    for (uint8_t sig = 0; !stop; ++sig) {
      const TAnswer a =
          model.Answer(BuildPacket(Adr, sig, 0xE1, std::string(1, static_cast<char>(sig))));
      if (!a.Empty()) ++answered;
    }
  });
  for (int i = 0; i < 2000; ++i) {
    model.SetDelay(i);
    model.SetSilent(i % 3 == 0);
    model.SetNoticeBeforeAnswer(i % 2 == 0);
    model.SetIdentification("Ingra;" + std::to_string(i));
    (void)model.GetParameter();
    (void)model.GetFaults();
  }
  model.ClearFaults();
  const int before = answered;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (answered < before + 10 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::yield();
  stop = true;
  line.join();
  EXPECT_GE(answered, before + 10) << "answers resume once the faults are cleared";
  EXPECT_EQ(model.GetIdentification(), "Ingra;1999");
}

// ---------------------------------------------------------------------------
// Ingra: four input ranges.

TEST(TIngraModel, ReportsTheDefaultCurrentRangesAsFourTaggedPairs) {
  TIngraModel m;
  EXPECT_EQ(m.GetKind(), TIngraKind::Current);
  EXPECT_EQ(Hex(m.Answer(BuildPacket(Adr, 0x01, 0x1B, "")).Bytes()),
            "2A 61 00 0D 31 01 00 01 01 02 01 03 01 04 01 27 0D");
}

// The program's SetRanges: 0xE4, then 0x1A with the four pairs.
TEST(TIngraModel, StoresRangesWrittenAfterEnableConfiguration) {
  TIngraModel m;
  ASSERT_EQ(AckOf(m, 0xE4), 0);
  EXPECT_EQ(AckOf(m, 0x1A, Bytes({1, 2, 2, 2, 3, 2, 4, 2})), 0);
  EXPECT_EQ(Reply(m, 0x1B), "00 01 02 02 02 03 02 04 02");

  ASSERT_EQ(AckOf(m, 0xE4), 0);
  EXPECT_EQ(AckOf(m, 0x1A, Bytes({1, 1, 2, 2, 3, 1, 4, 2})), 0);
  EXPECT_EQ(m.GetCodes(), (TIngraModel::TCodes{1, 2, 1, 2}));
}

TEST(TIngraModel, RefusesRangesWithoutADirectlyPrecedingEnable) {
  TIngraModel m;
  EXPECT_EQ(AckOf(m, 0x1A, Bytes({1, 2, 2, 2, 3, 2, 4, 2})), 4);
  ASSERT_EQ(AckOf(m, 0xE4), 0);
  ASSERT_EQ(AckOf(m, 0x1B), 0);
  EXPECT_EQ(AckOf(m, 0x1A, Bytes({1, 2, 2, 2, 3, 2, 4, 2})), 4);
  EXPECT_EQ(m.GetCodes(), (TIngraModel::TCodes{1, 1, 1, 1}));
}

TEST(TIngraModel, AcceptsOnlyTheCodesOfItsKindAndChangesNothingOtherwise) {
  TIngraModel current;
  for (const std::string& data : {Bytes({1, 0, 2, 0, 3, 0, 4, 0}), Bytes({1, 2, 2, 2, 3, 0, 4, 2}),
                                  Bytes({1, 3, 2, 1, 3, 1, 4, 1})}) {
    ASSERT_EQ(AckOf(current, 0xE4), 0);
    EXPECT_EQ(AckOf(current, 0x1A, data), 3) << Hex(data);
  }
  EXPECT_EQ(current.GetCodes(), (TIngraModel::TCodes{1, 1, 1, 1}));

  TIngraModel voltage(TIngraKind::Voltage);
  EXPECT_EQ(Reply(voltage, 0x1B), "00 01 00 02 00 03 00 04 00");
  for (int code : {1, 2, 3}) {
    ASSERT_EQ(AckOf(voltage, 0xE4), 0);
    EXPECT_EQ(AckOf(voltage, 0x1A, Bytes({1, 0, 2, 0, 3, 0, 4, code})), 3) << code;
  }
  ASSERT_EQ(AckOf(voltage, 0xE4), 0);
  EXPECT_EQ(AckOf(voltage, 0x1A, Bytes({1, 0, 2, 0, 3, 0, 4, 0})), 0);
}

TEST(TIngraModel, RefusesRangeDataThatIsNotFourTaggedPairs) {
  TIngraModel m;
  for (const std::string& data :
       {Bytes({1, 2, 2, 2, 3, 2, 4}), Bytes({1, 2, 2, 2, 3, 2, 4, 2, 5, 2}),
        Bytes({1, 2, 2, 2, 3, 2}), Bytes({1, 2, 1, 2, 3, 2, 4, 2}), Bytes({0, 2, 2, 2, 3, 2, 4, 2}),
        Bytes({1, 2, 2, 2, 3, 2, 5, 2}), std::string()}) {
    ASSERT_EQ(AckOf(m, 0xE4), 0);
    EXPECT_EQ(AckOf(m, 0x1A, data), 3) << Hex(data);
  }
  EXPECT_EQ(m.GetCodes(), (TIngraModel::TCodes{1, 1, 1, 1}));
  EXPECT_EQ(AckOf(m, 0x1B, Bytes({1})), 3);
}

TEST(TIngraModel, TakesEachPairByItsInputNumber) {
  TIngraModel m;
  ASSERT_EQ(AckOf(m, 0xE4), 0);
  EXPECT_EQ(AckOf(m, 0x1A, Bytes({4, 2, 3, 1, 2, 2, 1, 1})), 0);
  EXPECT_EQ(Reply(m, 0x1B), "00 01 01 02 02 03 01 04 02");
}

TEST(TIngraModel, PresetStateIsWhatTheModuleReports) {
  TIngraModel m;
  m.SetCodes({7, 0, 1, 2});  // even a code no module knows, to test how it is shown
  EXPECT_EQ(Reply(m, 0x1B), "00 01 07 02 00 03 01 04 02");

  m.SetKind(TIngraKind::Voltage);
  EXPECT_EQ(m.GetCodes(), (TIngraModel::TCodes{0, 0, 0, 0}));
  m.SetIdentification("Ingra;v2.3;bench");
  EXPECT_EQ(Ask(m, 0xF3).data, "Ingra;v2.3;bench");
}

// ---------------------------------------------------------------------------
// Outra: ranges, watchdogs and outputs of two outputs.

TEST(TOutraModel, ReportsItsDefaults) {
  TOutraModel m;
  EXPECT_EQ(Reply(m, 0xC1), "00 01 01 02 01");
  EXPECT_EQ(Reply(m, 0xC3), "00 01 00 00 00 02 00 00 00");
  EXPECT_EQ(Reply(m, 0xC5), "00 01 00 00 02 00 00");
  EXPECT_EQ(Reply(m, 0x41), "00 01 00 00 02 00 00");
  EXPECT_EQ(Reply(m, 0x43), "00 01 00 00 02 00 00");
}

// The program's save: ranges, time-outs, then one 0xC4 per output, none of
// them behind 0xE4.
TEST(TOutraModel, StoresWhatTheProgramSaves) {
  TOutraModel m;
  EXPECT_EQ(AckOf(m, 0xC0, Bytes({1, 5, 2, 5})), 0);
  EXPECT_EQ(AckOf(m, 0xC2, Bytes({1, 0x01, 0x51, 0x80, 2, 0, 0, 0})), 0);
  EXPECT_EQ(AckOf(m, 0xC4, Bytes({1, 0x0F, 0xFF})), 0);
  EXPECT_EQ(AckOf(m, 0xC4, Bytes({2, 0x08, 0x00})), 0);

  EXPECT_EQ(Reply(m, 0xC1), "00 01 05 02 05");
  EXPECT_EQ(Reply(m, 0xC3), "00 01 01 51 80 02 00 00 00");
  EXPECT_EQ(Reply(m, 0xC5), "00 01 0F FF 02 08 00");
  EXPECT_EQ(m.GetWatchDogTimeout(1), 86400u);
  EXPECT_EQ(m.GetWatchDogValue(2), 0x800);
}

TEST(TOutraModel, WritesOnlyTheOutputsTheRequestNames) {
  TOutraModel m;
  m.SetWatchDogTimeout(1, 60);
  EXPECT_EQ(AckOf(m, 0xC0, Bytes({2, 7})), 0);
  EXPECT_EQ(AckOf(m, 0xC2, Bytes({2, 0, 0, 0x3C})), 0);
  EXPECT_EQ(AckOf(m, 0xC2, ""), 0);
  EXPECT_EQ(Reply(m, 0xC1), "00 01 01 02 07");
  EXPECT_EQ(Reply(m, 0xC3), "00 01 00 00 3C 02 00 00 3C");
}

TEST(TOutraModel, RefusesValuesBeyondTheirLimitsAndChangesNothing) {
  TOutraModel m;
  struct TCase {
    uint8_t code;
    std::string data;
  };
  for (const TCase& c :
       {TCase{0xC0, Bytes({1, 0})}, TCase{0xC0, Bytes({1, 8})}, TCase{0xC0, Bytes({1, 5, 2, 0})},
        TCase{0xC2, Bytes({1, 0x01, 0x51, 0x81})},
        TCase{0xC2, Bytes({1, 0, 0, 0x3C, 2, 0xFF, 0xFF, 0xFF})},
        TCase{0xC4, Bytes({1, 0x10, 0x00})}, TCase{0x40, Bytes({1, 0x10, 0x00})},
        TCase{0x42, Bytes({1, 0x27, 0x11})}, TCase{0x42, Bytes({1, 0x00, 0x01, 2, 0xFF, 0xFF})}}) {
    EXPECT_EQ(AckOf(m, c.code, c.data), 3)
        << Hex(std::string(1, static_cast<char>(c.code)) + c.data);
  }
  EXPECT_EQ(Reply(m, 0xC1), "00 01 01 02 01");
  EXPECT_EQ(Reply(m, 0xC3), "00 01 00 00 00 02 00 00 00");
  EXPECT_EQ(Reply(m, 0xC5), "00 01 00 00 02 00 00");
  EXPECT_EQ(Reply(m, 0x41), "00 01 00 00 02 00 00");
}

TEST(TOutraModel, AcceptsTheLimitsThemselves) {
  TOutraModel m;
  EXPECT_EQ(AckOf(m, 0xC0, Bytes({1, 1, 2, 7})), 0);
  EXPECT_EQ(AckOf(m, 0xC2, Bytes({1, 0x01, 0x51, 0x80, 2, 0, 0, 0})), 0);
  EXPECT_EQ(AckOf(m, 0xC4, Bytes({1, 0x0F, 0xFF, 2, 0, 0})), 0);
  EXPECT_EQ(AckOf(m, 0x40, Bytes({1, 0x0F, 0xFF})), 0);
  EXPECT_EQ(AckOf(m, 0x42, Bytes({2, 0x27, 0x10})), 0);
}

TEST(TOutraModel, RefusesItemsThatAreNotTaggedOutputs) {
  TOutraModel m;
  for (const std::string& data : {Bytes({3, 5}), Bytes({0, 5}), Bytes({1, 5, 1, 6}),
                                  Bytes({1, 5, 2}), Bytes({1, 5, 2, 5, 1, 5}), Bytes({1})}) {
    EXPECT_EQ(AckOf(m, 0xC0, data), 3) << Hex(data);
  }
  EXPECT_EQ(AckOf(m, 0xC2, Bytes({1, 0, 0x3C})), 3);  // a 16-bit time-out
  EXPECT_EQ(AckOf(m, 0xC4, Bytes({1, 0x0F})), 3);
  EXPECT_EQ(Reply(m, 0xC1), "00 01 01 02 01");
  for (uint8_t read : {0xC1, 0xC3, 0xC5, 0x41, 0x43}) EXPECT_EQ(AckOf(m, read, Bytes({1})), 3);
}

// Raw values are 12 bit; the scaled form spreads 0..10000 over the same span.
TEST(TOutraModel, OutputsReadBackInBothForms) {
  TOutraModel m;
  EXPECT_EQ(AckOf(m, 0x42, Bytes({1, 0x27, 0x10})), 0);  // 10000
  EXPECT_EQ(Reply(m, 0x43), "00 01 27 10 02 00 00");
  EXPECT_EQ(Reply(m, 0x41), "00 01 0F FF 02 00 00");

  EXPECT_EQ(AckOf(m, 0x42, Bytes({2, 0x13, 0x88})), 0);  // 5000 is 2047.5 raw
  EXPECT_EQ(m.GetOutputRaw(2), 2048);
  EXPECT_EQ(m.GetOutputScaled(2), 5000) << "the written form reads back exactly";

  EXPECT_EQ(AckOf(m, 0x40, Bytes({1, 0x04, 0x00, 2, 0x0F, 0xFF})), 0);  // 1024, 4095
  EXPECT_EQ(Reply(m, 0x41), "00 01 04 00 02 0F FF");
  EXPECT_EQ(m.GetOutputScaled(1), 2501);  // 1024 / 4095 * 10000 = 2500.6
  EXPECT_EQ(m.GetOutputScaled(2), 10000);
}

// The watchdog: only silence towards this module counts, an output trips
// once per silence, and an output whose watchdog is off keeps its value.
TEST(TOutraModel, AnOutputTakesItsWatchDogValueAfterItsTimeoutWithoutARequest) {
  auto now = std::chrono::steady_clock::time_point{};
  TOutraModel m([&] { return now; });
  EXPECT_EQ(AckOf(m, 0xC2, Bytes({1, 0, 0, 2})), 0);  // watchdog 1 after 2 s, 2 stays off
  EXPECT_EQ(AckOf(m, 0xC4, Bytes({1, 0x08, 0x00})), 0);
  EXPECT_EQ(AckOf(m, 0xC4, Bytes({2, 0x0F, 0xFF})), 0);
  EXPECT_EQ(AckOf(m, 0x40, Bytes({1, 0x0F, 0xFF, 2, 0x01, 0x00})), 0);

  now += std::chrono::milliseconds(1999);
  EXPECT_EQ(m.GetOutputRaw(1), 4095);
  EXPECT_TRUE(Quiet(m, BuildPacket(0x32, Sig, 0xF3, "")));  // another module's request
  now += std::chrono::milliseconds(1);
  EXPECT_EQ(Reply(m, 0x41), "00 01 08 00 02 01 00");  // tripped before the request was read
  EXPECT_EQ(m.GetOutputScaled(1), 5001);

  // A request restarts the time-out; a command after the trip holds.
  EXPECT_EQ(AckOf(m, 0x40, Bytes({1, 0x00, 0x10})), 0);
  now += std::chrono::milliseconds(1500);
  EXPECT_EQ(AckOf(m, 0xF3), 0);
  now += std::chrono::milliseconds(1500);
  EXPECT_EQ(Reply(m, 0x41), "00 01 00 10 02 01 00");
  now += std::chrono::seconds(3);
  EXPECT_EQ(m.GetOutputRaw(1), 2048);
  m.SetOutputRaw(1, 7);
  now += std::chrono::seconds(3);
  EXPECT_EQ(m.GetOutputRaw(1), 7) << "one trip per silence";
}

TEST(TOutraModel, PresetStateIsWhatTheModuleReports) {
  TOutraModel m;
  m.SetRange(1, 3);
  m.SetRange(2, 6);
  m.SetWatchDogTimeout(1, 60);
  m.SetWatchDogValue(2, 2048);
  EXPECT_EQ(Reply(m, 0xC1), "00 01 03 02 06");
  EXPECT_EQ(Reply(m, 0xC3), "00 01 00 00 3C 02 00 00 00");
  EXPECT_EQ(Reply(m, 0xC5), "00 01 00 00 02 08 00");
  EXPECT_THROW(m.SetRange(3, 1), std::out_of_range);
  EXPECT_THROW((void)m.GetWatchDogValue(0), std::out_of_range);
}

// ---------------------------------------------------------------------------
// Cutting requests out of what the line delivers.

namespace {
std::vector<std::string> FeedAll(TFrameCutter& cutter, std::string_view bytes, size_t chunk) {
  std::vector<std::string> frames;
  for (size_t at = 0; at < bytes.size(); at += chunk) {
    for (std::string& f : cutter.Feed(bytes.substr(at, chunk))) frames.push_back(std::move(f));
  }
  return frames;
}
}  // namespace

TEST(TModelFrameCutter, DeliversASplitRequestOnceWhenItsLastByteArrives) {
  const std::string frame = BuildPacket(Adr, 3, 0x1A, Bytes({1, 0x2A, 2, 0x0D, 3, 0x61, 4, 1}));
  TFrameCutter cutter;
  for (size_t i = 0; i + 1 < frame.size(); ++i)
    EXPECT_TRUE(cutter.Feed(frame.substr(i, 1)).empty()) << i;
  const std::vector<std::string> frames = cutter.Feed(frame.substr(frame.size() - 1));
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0], frame);
  EXPECT_TRUE(cutter.Feed("").empty());
}

TEST(TModelFrameCutter, DeliversBackToBackRequestsInOrder) {
  const std::string a = BuildPacket(Adr, 1, 0xF3, "");
  const std::string b = BuildPacket(Adr, 2, 0xE4, "");
  const std::string c = BuildPacket(0xFE, 3, 0xE1, Bytes({0x2A}));
  TFrameCutter cutter;
  EXPECT_EQ(cutter.Feed(a + b + c), (std::vector<std::string>{a, b, c}));

  // A chunk that ends inside the second frame delivers the first at once.
  const std::string stream = a + b + c;
  EXPECT_EQ(cutter.Feed(stream.substr(0, a.size() + 3)), (std::vector<std::string>{a}));
  EXPECT_EQ(cutter.Feed(stream.substr(a.size() + 3)), (std::vector<std::string>{b, c}));
}

TEST(TModelFrameCutter, SkipsNoiseAndBrokenFramesBeforeAGoodOne) {
  const std::string good = BuildPacket(Adr, 9, 0xF0, "");
  std::string bad = BuildPacket(Adr, 8, 0xF0, "");
  bad[bad.size() - 2] ^= 0x40;
  std::string eightBytes = Bytes({0x2A, 0x61, 0x00, 0x04, Adr, 0x01});
  eightBytes += static_cast<char>(PacketChecksum(eightBytes));
  eightBytes += '\x0D';
  const std::string noise = Bytes({0x00, 0x2A, 0x2A, 0x61, 0x00, 0x00, 0x0D, 0xFF, 0x61});
  TFrameCutter cutter;
  EXPECT_EQ(cutter.Feed(noise + bad + eightBytes + good + "tail"),
            (std::vector<std::string>{good}));
  EXPECT_EQ(cutter.Feed(good), (std::vector<std::string>{good}));
}

// Noise that looks like the start of a long frame waits for its length, as
// the module's receiver would, until the line goes quiet.
TEST(TModelFrameCutter, QuietLineEndsAFalseStartAndUncoversTheRequestBehindIt) {
  const std::string good = BuildPacket(Adr, 4, 0xF3, "");
  TFrameCutter cutter;
  EXPECT_TRUE(cutter.Feed(Bytes({0x2A, 0x61, 0x01, 0x00, 0x00})).empty());
  EXPECT_TRUE(FeedAll(cutter, good, 1).empty());
  EXPECT_EQ(cutter.Pending(), 5 + good.size());
  EXPECT_EQ(cutter.Expire(), (std::vector<std::string>{good}));
  EXPECT_EQ(cutter.Pending(), 0u);
  EXPECT_EQ(cutter.Feed(good + good), (std::vector<std::string>{good, good}));

  // Without the quiet line the false start runs out by its own length.
  TFrameCutter patient;
  EXPECT_TRUE(patient.Feed(Bytes({0x2A, 0x61, 0x01, 0x00}) + good).empty());
  const std::vector<std::string> frames = FeedAll(patient, std::string(0x100, '\0') + good, 7);
  EXPECT_EQ(frames, (std::vector<std::string>{good, good}));
}

TEST(TModelFrameCutter, ExpireDropsAHalfRequestAndKeepsNothingPending) {
  const std::string frame = BuildPacket(Adr, 1, 0xF3, "");
  TFrameCutter cutter;
  EXPECT_TRUE(cutter.Feed(frame.substr(0, 6)).empty());
  EXPECT_EQ(cutter.Pending(), 6u);
  EXPECT_TRUE(cutter.Expire().empty());
  EXPECT_EQ(cutter.Pending(), 0u);
  EXPECT_TRUE(cutter.Feed(frame.substr(6)).empty());
  EXPECT_EQ(cutter.Feed(frame), (std::vector<std::string>{frame}));
}

TEST(TModelFrameCutter, DoesNotCutAFrameOutOfAnotherFramesData) {
  const std::string inner = BuildPacket(Adr, 5, 0xF3, "");
  const std::string outer = BuildPacket(Adr, 6, 0xE2, std::string(1, '\0') + inner);
  TFrameCutter cutter;
  EXPECT_EQ(FeedAll(cutter, outer, 3), (std::vector<std::string>{outer}));
}

TEST(TModelFrameCutter, CutsTheSameFramesHoweverTheStreamIsChunked) {
  std::mt19937 random(1234);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int round = 0; round < 50; ++round) {
    std::string stream;
    std::vector<std::string> expected;
    for (int i = 0; i < 20; ++i) {
      for (int n = byte(random) % 6; n > 0; --n) {
        char c = static_cast<char>(byte(random));
        stream += c == 0x2A ? '\0' : c;  // noise that cannot start a frame
      }
      std::string data;
      for (int n = byte(random) % 12; n > 0; --n) data += static_cast<char>(byte(random));
      expected.push_back(BuildPacket(static_cast<uint8_t>(byte(random)),
                                     static_cast<uint8_t>(byte(random)),
                                     static_cast<uint8_t>(byte(random)), data));
      stream += expected.back();
    }
    for (size_t chunk : {size_t{1}, size_t{2}, size_t{7}, size_t{64}, stream.size()}) {
      TFrameCutter cutter;
      EXPECT_EQ(FeedAll(cutter, stream, chunk), expected)
          << "round " << round << ", chunk " << chunk;
    }
  }
}

TEST(TModelFrameCutter, HoldsBoundedBytesOverALongNoisyStream) {
  TFrameCutter cutter;
  std::mt19937 random(99);
  std::uniform_int_distribution<int> byte(0, 255);
  size_t largest = 0;
  for (int i = 0; i < 300000; ++i) {
    const char noise[1] = {static_cast<char>(byte(random))};
    cutter.Feed(std::string_view(noise, 1));
    largest = std::max(largest, cutter.Buffered());
  }
  // A false start may make it keep one longest frame's worth, never the stream.
  EXPECT_LT(largest, size_t{2 * 65539});

  const std::string good = BuildPacket(Adr, 1, 0xF3, "");
  const std::vector<std::string> frames = FeedAll(cutter, good, 1);
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(frames.back(), good);
}

TEST(TModelFrameCutter, ClearForgetsAHalfRequest) {
  const std::string frame = BuildPacket(Adr, 1, 0xF3, "");
  TFrameCutter cutter;
  EXPECT_TRUE(cutter.Feed(frame.substr(0, 5)).empty());
  cutter.Clear();
  EXPECT_TRUE(cutter.Feed(frame.substr(5)).empty());
  EXPECT_EQ(cutter.Feed(frame), (std::vector<std::string>{frame}));
}

// The program's identification request, cut from the line and answered.
TEST(TModelFrameCutter, FeedsTheModelWhatTheProgramWrites) {
  TIngraModel model;
  TFrameCutter cutter;
  std::string line;
  for (const std::string& request :
       FeedAll(cutter, Bytes({0x2A, 0x61, 0x00, 0x05, 0x31, 0x01, 0xF3, 0x4A, 0x0D}), 4))
    line += model.Answer(request).Bytes();
  EXPECT_EQ(line, BuildPacket(0x31, 0x01, 0x00, "Ingra;v1.0;simulated"));
}
