#include "core/uModuleSettings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "core/uLibraryStart.h"
#include "support/TSimProcess.h"

using namespace duomat;
using korvan::TIngraRanges;

namespace {

// Answers come from scripted queues, one per operation; an empty queue fails.
class TFakeIngra : public korvan::TIngra {
 public:
  explicit TFakeIngra(uint8_t adr) : TIngra(adr) {}

  std::deque<std::optional<TIngraRanges>> GetAnswers;
  std::deque<bool> SetAnswers;
  std::vector<std::string> Calls;
  std::vector<TIngraRanges> Written;

  bool GetRanges(TIngraRanges& ranges) override {
    Calls.push_back("GetRanges");
    if (GetAnswers.empty()) return false;
    const std::optional<TIngraRanges> answer = GetAnswers.front();
    GetAnswers.pop_front();
    if (!answer) return false;
    ranges = *answer;
    return true;
  }
  bool SetRanges(const TIngraRanges& ranges) override {
    Calls.push_back("SetRanges");
    Written.push_back(ranges);
    if (SetAnswers.empty()) return false;
    const bool ok = SetAnswers.front();
    SetAnswers.pop_front();
    return ok;
  }
};

// Every call is logged with its arguments; each operation succeeds unless
// named in FailOn.
class TFakeOutra : public korvan::TOutra {
 public:
  explicit TFakeOutra(uint8_t adr) : TOutra(adr) {}

  std::string FailOn;
  uint8_t Codes[2] = {1, 1};
  int Timeouts[2] = {0, 0};
  int Values[2] = {0, 0};
  std::vector<std::string> Calls;

  bool GetRanges(uint8_t& code1, uint8_t& code2) override {
    code1 = Codes[0];
    code2 = Codes[1];
    return Log("GetRanges");
  }
  bool GetWatchDogTimeouts(int& timeout1, int& timeout2) override {
    timeout1 = Timeouts[0];
    timeout2 = Timeouts[1];
    return Log("GetWatchDogTimeouts");
  }
  bool GetWatchDogValues(int& value1, int& value2) override {
    value1 = Values[0];
    value2 = Values[1];
    return Log("GetWatchDogValues");
  }
  bool SetRanges(int code1, int code2) override { return Log("SetRanges", code1, code2); }
  bool SetWatchDogTimeouts(int timeout1, int timeout2) override {
    return Log("SetWatchDogTimeouts", timeout1, timeout2);
  }
  bool SetWatchDogValues(int value1, int value2) override {
    return Log("SetWatchDogValues", value1, value2);
  }

 private:
  bool Log(const std::string& name) {
    Calls.push_back(name);
    return name != FailOn;
  }
  bool Log(const std::string& name, int a, int b) {
    Calls.push_back(name + " " + std::to_string(a) + " " + std::to_string(b));
    return name != FailOn;
  }
};

class ModuleSettingsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { duomat::StartLibrary(); }
};

using IngraSettingsLoad = ModuleSettingsTest;
using IngraSettingsSave = ModuleSettingsTest;
using OutraSettingsLoad = ModuleSettingsTest;
using OutraSettingsSave = ModuleSettingsTest;
using SettingsConnect = ModuleSettingsTest;

const std::vector<std::string> GetOnly = {"GetRanges"};
const std::vector<std::string> GetTwice = {"GetRanges", "GetRanges"};

}  // namespace

// ---- Outra conversions ------------------------------------------------------

TEST(OutraSettings, FourToTwentyMilliampsSavesItsEndsAndTheExactMidpointGoesToEven) {
  const int code = OutraRangeCode("4 - 20 mA");
  EXPECT_EQ(OutraValueToRaw(20.0, code), 4095);
  EXPECT_EQ(OutraValueToRaw(4.0, code), 0);
  EXPECT_EQ(OutraValueToRaw(12.0, code), 2048);  // 2047.5
  // Nearest, not up or down: 2047.47 and 2047.53.
  EXPECT_EQ(OutraValueToRaw(11.9999, code), 2047);
  EXPECT_EQ(OutraValueToRaw(12.0001, code), 2048);
  EXPECT_EQ(OutraValueToRaw(4.002, code), 1);  // 0.51
}

TEST(OutraSettings, MidscaleOfPlusMinusTenVoltsLoadsAsZero) {
  const int code = OutraRangeCode("-10 - 10 V");
  EXPECT_EQ(OutraRawToValue(2048, code), 0.0);  // 0.0024
  EXPECT_EQ(OutraRawToValue(2047, code), 0.0);  // -0.0024, shown as 0.00, not -0.00
  EXPECT_FALSE(std::signbit(OutraRawToValue(2047, code)));
  EXPECT_EQ(OutraRawToValue(2050, code), 0.01);  // 0.0122
  EXPECT_EQ(OutraValueToRaw(0.0, code), 2048);
}

TEST(OutraSettings, EveryRangeSpansZeroToFullScaleBetweenItsLimits) {
  const struct {
    int Code;
    double Minimum, Maximum;
  } table[] = {{1, 0, 10}, {2, 0, 5}, {3, -10, 10}, {4, -5, 5}, {5, 4, 20}, {6, 0, 20}, {7, 0, 24}};
  for (const auto& row : table) {
    SCOPED_TRACE(row.Code);
    const TOutraLimits l = OutraRangeLimits(row.Code);
    EXPECT_EQ(l.Minimum, row.Minimum);
    EXPECT_EQ(l.Maximum, row.Maximum);
    EXPECT_EQ(OutraValueToRaw(row.Minimum, row.Code), 0);
    EXPECT_EQ(OutraValueToRaw(row.Maximum, row.Code), 4095);
    EXPECT_EQ(OutraRawToValue(0, row.Code), row.Minimum);
    EXPECT_EQ(OutraRawToValue(4095, row.Code), row.Maximum);
  }
}

TEST(OutraSettings, ShownValuesAreWholeHundredthsNearestToThePhysicalValue) {
  for (int code = 1; code <= 7; ++code) {
    const TOutraLimits l = OutraRangeLimits(code);
    for (int raw = 0; raw <= 4095; ++raw) {
      const double shown = OutraRawToValue(raw, code);
      const double physical = l.Minimum + raw / 4095.0 * (l.Maximum - l.Minimum);
      const double hundredths = shown * 100;
      ASSERT_NEAR(hundredths, std::round(hundredths), 1e-9) << "code " << code << " raw " << raw;
      ASSERT_EQ(shown, std::round(hundredths) / 100) << "code " << code << " raw " << raw;
      ASSERT_LE(std::abs(shown - physical), 0.005 + 1e-9) << "code " << code << " raw " << raw;
    }
  }
}

TEST(OutraSettings, AnEmptyRangeSavesZeroAndShowsZero) {
  for (int code : {0, 8, -1, 255}) {
    SCOPED_TRACE(code);
    const TOutraLimits l = OutraRangeLimits(code);
    EXPECT_EQ(l.Minimum, 0);
    EXPECT_EQ(l.Maximum, 0);
    EXPECT_EQ(OutraValueToRaw(5.0, code), 0);
    EXPECT_EQ(OutraValueToRaw(-5.0, code), 0);
    EXPECT_EQ(OutraRawToValue(4095, code), 0.0);
  }
}

// ---- Range texts and codes ----------------------------------------------------

TEST(IngraSettings, RangeCodeAcceptsItsThreeTextsAndTheirCodes) {
  EXPECT_EQ(IngraRangeCode("0 - 10 V"), 0);
  EXPECT_EQ(IngraRangeCode("4 - 20 mA"), 1);
  EXPECT_EQ(IngraRangeCode("0 - 20 mA"), 2);
  EXPECT_EQ(IngraRangeCode("0"), 0);
  EXPECT_EQ(IngraRangeCode("1"), 1);
  EXPECT_EQ(IngraRangeCode("2"), 2);
  for (const char* text : {"3", "-1", "", "4-20 mA", "4 - 20 ma", "0 - 10 V ", "1x", "0 - 24 mA"})
    EXPECT_EQ(IngraRangeCode(text), -1) << '"' << text << '"';
  EXPECT_EQ(IngraRangeText(3), "");
}

TEST(OutraSettings, RangeCodeAcceptsItsSevenTextsInOrderAndTheirCodes) {
  const std::vector<std::string> texts = {"0 - 10 V",  "0 - 5 V",   "-10 - 10 V", "-5 - 5 V",
                                          "4 - 20 mA", "0 - 20 mA", "0 - 24 mA"};
  EXPECT_EQ(OutraRangeTexts(), texts);
  for (int code = 1; code <= 7; ++code) {
    EXPECT_EQ(OutraRangeText(code), texts[static_cast<size_t>(code - 1)]);
    EXPECT_EQ(OutraRangeCode(texts[static_cast<size_t>(code - 1)]), code);
    EXPECT_EQ(OutraRangeCode(std::to_string(code)), code);
  }
  for (const char* text : {"0", "8", "", "-10 - 10V", "-10", "10 V", "0 - 10 v"})
    EXPECT_EQ(OutraRangeCode(text), -1) << '"' << text << '"';
  EXPECT_EQ(OutraRangeText(0), "");
  EXPECT_EQ(OutraRangeText(8), "");
}

// ---- Ingra range list -------------------------------------------------------

TEST(IngraSettings, AVoltageCodeOffersOnlyTheVoltageRange) {
  const TIngraRangeList list = IngraRangeListFor(0);
  EXPECT_EQ(list.Items, (std::vector<std::string>{"0 - 10 V"}));
  EXPECT_EQ(list.Tag, 0);
  EXPECT_EQ(list.Selected, 0);
  EXPECT_EQ(list.SelectedCode(), 0);
  EXPECT_EQ(list.IndexOf("4 - 20 mA"), -1);
}

TEST(IngraSettings, ACurrentCodeOffersBothCurrentRangesWithItsOwnSelected) {
  const std::vector<std::string> current = {"4 - 20 mA", "0 - 20 mA"};
  for (int code : {1, 2}) {
    SCOPED_TRACE(code);
    const TIngraRangeList list = IngraRangeListFor(code);
    EXPECT_EQ(list.Items, current);
    EXPECT_EQ(list.Tag, 1);
    EXPECT_EQ(list.Selected, code - 1);
    EXPECT_EQ(list.SelectedCode(), code);
    EXPECT_EQ(list.IndexOf("0 - 10 V"), -1);
  }
  EXPECT_EQ(IngraRangeListFor(2).Items[static_cast<size_t>(IngraRangeListFor(2).Selected)],
            "0 - 20 mA");
}

TEST(IngraSettings, AnUnknownCodeOffersNothing) {
  for (int code : {3, 0x80, 255, -1}) {
    SCOPED_TRACE(code);
    const TIngraRangeList list = IngraRangeListFor(code);
    EXPECT_TRUE(list.Items.empty());
    EXPECT_EQ(list.Tag, -1);
    EXPECT_EQ(list.Selected, -1);
    EXPECT_EQ(list.SelectedCode(), -1);
  }
}

// ---- Ingra load and save ----------------------------------------------------

TEST_F(IngraSettingsLoad, AFailedReadIsRetriedOnceAndTheListFollowsInput1) {
  auto ingra = korvan::CreateObject<TFakeIngra>(0x31);
  ingra->GetAnswers = {std::nullopt, TIngraRanges{2, 1, 0, 7}};
  const TIngraLoadResult r = LoadIngra(*ingra);
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(r.Message, "Nastavení bylo úspěšně nahráno z modulu Ingra.");
  EXPECT_EQ(r.Codes, (TIngraRanges{2, 1, 0, 7}));
  EXPECT_EQ(r.List.Items, (std::vector<std::string>{"4 - 20 mA", "0 - 20 mA"}));
  EXPECT_EQ(r.List.SelectedCode(), 2);
  EXPECT_EQ(ingra->Calls, GetTwice);
}

TEST_F(IngraSettingsLoad, TwoFailedReadsFailTheLoadWithoutAThirdTry) {
  auto ingra = korvan::CreateObject<TFakeIngra>(0x31);
  ingra->GetAnswers = {std::nullopt, std::nullopt, TIngraRanges{1, 1, 1, 1}};
  const TIngraLoadResult r = LoadIngra(*ingra);
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(r.Message, "Nastavení se nepodařilo nahrát z modulu Ingra!");
  EXPECT_EQ(r.List.Tag, -1);
  EXPECT_EQ(ingra->Calls, GetTwice);
}

TEST_F(IngraSettingsLoad, AnUnlistedCodeStillLoadsButLeavesNothingToSave) {
  auto ingra = korvan::CreateObject<TFakeIngra>(0x31);
  ingra->GetAnswers = {TIngraRanges{3, 3, 3, 3}};
  const TIngraLoadResult r = LoadIngra(*ingra);
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(r.Message, "Nastavení bylo úspěšně nahráno z modulu Ingra.");
  EXPECT_TRUE(r.List.Items.empty());
  EXPECT_EQ(r.List.Tag, -1);
  EXPECT_EQ(ingra->Calls, GetOnly);

  ingra->Calls.clear();
  const TSaveResult s = SaveIngra(*ingra, r.List);
  EXPECT_FALSE(s.Ok);
  EXPECT_EQ(s.Message, "Nastavení se nepodařilo uložit do modulu Ingra!");
  EXPECT_TRUE(ingra->Calls.empty());
}

TEST_F(IngraSettingsSave, ACurrentModuleLoadedWithCode2SavesFourToTwentyToAllFourInputs) {
  auto ingra = korvan::CreateObject<TFakeIngra>(0x31);
  ingra->GetAnswers = {TIngraRanges{2, 2, 2, 2}, TIngraRanges{2, 2, 2, 2}};
  ingra->SetAnswers = {true};
  TIngraRangeList list = LoadIngra(*ingra).List;
  ASSERT_EQ(list.SelectedCode(), 2);
  list.Selected = list.IndexOf("4 - 20 mA");

  TIngraRanges saved{};
  const TSaveResult s = SaveIngra(*ingra, list, &saved);
  EXPECT_TRUE(s.Ok);
  EXPECT_EQ(s.Message, "Nastavení bylo úspěšně uloženo do modulu Ingra.");
  EXPECT_EQ(saved, (TIngraRanges{1, 1, 1, 1}));
  // The save reads the module again before it writes.
  EXPECT_EQ(ingra->Calls, (std::vector<std::string>{"GetRanges", "GetRanges", "SetRanges"}));
  EXPECT_EQ(ingra->Written, (std::vector<TIngraRanges>{{1, 1, 1, 1}}));
}

TEST_F(IngraSettingsSave, ANeverLoadedListIsRefusedWithoutARequest) {
  auto ingra = korvan::CreateObject<TFakeIngra>(0x31);
  ingra->GetAnswers = {TIngraRanges{1, 1, 1, 1}};
  ingra->SetAnswers = {true};
  const TSaveResult s = SaveIngra(*ingra, TIngraRangeList{});
  EXPECT_FALSE(s.Ok);
  EXPECT_EQ(s.Message, "Nastavení se nepodařilo uložit do modulu Ingra!");
  EXPECT_TRUE(ingra->Calls.empty());
}

TEST_F(IngraSettingsSave, TheKindOfModuleIsNeverChanged) {
  const struct {
    int ListedFor;  // what the list was loaded from
    uint8_t NowIs;  // what the module reports when saving
    bool Allowed;
  } cases[] = {
      {1, 0, false},                 // current list, module now a voltage one
      {2, 0, false}, {0, 1, false},  // voltage list, module now a current one
      {0, 2, false}, {1, 2, true},   // same kind
      {0, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "listed for " << c.ListedFor << ", module at " << int(c.NowIs));
    auto ingra = korvan::CreateObject<TFakeIngra>(0x31);
    ingra->GetAnswers = {TIngraRanges{c.NowIs, c.NowIs, c.NowIs, c.NowIs}};
    ingra->SetAnswers = {true};
    const TIngraRangeList list = IngraRangeListFor(c.ListedFor);
    const TSaveResult s = SaveIngra(*ingra, list);
    EXPECT_EQ(s.Ok, c.Allowed);
    if (c.Allowed) {
      const auto code = static_cast<uint8_t>(c.ListedFor);
      EXPECT_EQ(ingra->Written, (std::vector<TIngraRanges>{{code, code, code, code}}));
    } else {
      EXPECT_EQ(s.Message, "Nastavení se nepodařilo uložit do modulu Ingra!");
      EXPECT_EQ(ingra->Calls, GetOnly);
    }
  }
}

TEST_F(IngraSettingsSave, TheReadBeforeWritingIsRetriedOnceAndItsFailureStopsTheSave) {
  auto ingra = korvan::CreateObject<TFakeIngra>(0x31);
  ingra->GetAnswers = {std::nullopt, TIngraRanges{1, 1, 1, 1}};
  ingra->SetAnswers = {true};
  EXPECT_TRUE(SaveIngra(*ingra, IngraRangeListFor(2)).Ok);
  EXPECT_EQ(ingra->Calls, (std::vector<std::string>{"GetRanges", "GetRanges", "SetRanges"}));

  ingra = korvan::CreateObject<TFakeIngra>(0x31);
  ingra->GetAnswers = {std::nullopt, std::nullopt, TIngraRanges{1, 1, 1, 1}};
  ingra->SetAnswers = {true};
  const TSaveResult s = SaveIngra(*ingra, IngraRangeListFor(2));
  EXPECT_FALSE(s.Ok);
  EXPECT_EQ(s.Message, "Nastavení se nepodařilo uložit do modulu Ingra!");
  EXPECT_EQ(ingra->Calls, GetTwice);
}

TEST_F(IngraSettingsSave, AFailedWriteIsRetriedOnceOnly) {
  auto ingra = korvan::CreateObject<TFakeIngra>(0x31);
  ingra->GetAnswers = {TIngraRanges{1, 1, 1, 1}};
  ingra->SetAnswers = {false, true};
  TIngraRanges saved{};
  EXPECT_TRUE(SaveIngra(*ingra, IngraRangeListFor(2), &saved).Ok);
  EXPECT_EQ(saved, (TIngraRanges{2, 2, 2, 2}));
  EXPECT_EQ(ingra->Written, (std::vector<TIngraRanges>{{2, 2, 2, 2}, {2, 2, 2, 2}}));

  ingra = korvan::CreateObject<TFakeIngra>(0x31);
  ingra->GetAnswers = {TIngraRanges{1, 1, 1, 1}};
  ingra->SetAnswers = {false, false, true};
  saved = {9, 9, 9, 9};
  const TSaveResult s = SaveIngra(*ingra, IngraRangeListFor(2), &saved);
  EXPECT_FALSE(s.Ok);
  EXPECT_EQ(s.Message, "Nastavení se nepodařilo uložit do modulu Ingra!");
  EXPECT_EQ(ingra->Calls, (std::vector<std::string>{"GetRanges", "SetRanges", "SetRanges"}));
  EXPECT_EQ(saved, (TIngraRanges{9, 9, 9, 9}));  // untouched on failure
}

// ---- Outra load and save ----------------------------------------------------

TEST_F(OutraSettingsLoad, ReadsRangesTimeoutsThenValuesAndShowsBothInOutput1sRange) {
  auto outra = korvan::CreateObject<TFakeOutra>(0x31);
  outra->Codes[0] = 5;  // 4 - 20 mA
  outra->Codes[1] = 3;  // -10 - 10 V, not used for showing
  outra->Timeouts[0] = 60;
  outra->Timeouts[1] = 0;
  outra->Values[0] = 2048;
  outra->Values[1] = 0;
  const TOutraLoadResult r = LoadOutra(*outra);
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(r.Message, "Nastavení bylo úspěšně nahráno z modulu Outra.");
  EXPECT_EQ(outra->Calls,
            (std::vector<std::string>{"GetRanges", "GetWatchDogTimeouts", "GetWatchDogValues"}));
  EXPECT_EQ(r.Settings.Code1, 5);
  EXPECT_EQ(r.Settings.Code2, 3);
  const TOutraWatchDog& w1 = r.Settings.WatchDogs[0];
  const TOutraWatchDog& w2 = r.Settings.WatchDogs[1];
  EXPECT_TRUE(w1.Enabled);
  EXPECT_EQ(w1.Timeout, 60);
  EXPECT_EQ(w1.Raw, 2048);
  EXPECT_EQ(w1.Value, 12.0);  // 12.0039
  EXPECT_FALSE(w2.Enabled);
  EXPECT_EQ(w2.Timeout, 0);
  EXPECT_EQ(w2.Raw, 0);
  EXPECT_EQ(w2.Value, 4.0);  // -10.0 in output 2's own range
}

TEST_F(OutraSettingsLoad, StopsAtTheFirstFailedReadWithoutRetrying) {
  const std::vector<std::string> order = {"GetRanges", "GetWatchDogTimeouts", "GetWatchDogValues"};
  for (size_t failing = 0; failing < order.size(); ++failing) {
    SCOPED_TRACE(order[failing]);
    auto outra = korvan::CreateObject<TFakeOutra>(0x31);
    outra->FailOn = order[failing];
    const TOutraLoadResult r = LoadOutra(*outra);
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.Message, "Nastavení se nepodařilo nahrát z modulu Outra!");
    EXPECT_EQ(outra->Calls,
              std::vector<std::string>(order.begin(), order.begin() + long(failing) + 1));
  }
}

TEST_F(OutraSettingsSave,
       WritesOneRangeForBothOutputsThenTimeoutsThenValuesEvenOfAWatchdogThatIsOff) {
  auto outra = korvan::CreateObject<TFakeOutra>(0x31);
  TOutraSaveRequest request;
  request.Code = 5;  // 4 - 20 mA
  request.Enabled = {true, false};
  request.Timeout = {60, 30};
  request.Value = {12.0, 20.0};
  TOutraSettings saved;
  const TSaveResult s = SaveOutra(*outra, request, &saved);
  EXPECT_TRUE(s.Ok);
  EXPECT_EQ(s.Message, "Nastavení bylo úspěšně uloženo do modulu Outra.");
  EXPECT_EQ(outra->Calls, (std::vector<std::string>{"SetRanges 5 5", "SetWatchDogTimeouts 60 0",
                                                    "SetWatchDogValues 2048 4095"}));
  EXPECT_EQ(saved.Code1, 5);
  EXPECT_EQ(saved.Code2, 5);
  EXPECT_TRUE(saved.WatchDogs[0].Enabled);
  EXPECT_EQ(saved.WatchDogs[0].Timeout, 60);
  EXPECT_EQ(saved.WatchDogs[0].Raw, 2048);
  EXPECT_EQ(saved.WatchDogs[0].Value, 12.0);
  EXPECT_FALSE(saved.WatchDogs[1].Enabled);
  EXPECT_EQ(saved.WatchDogs[1].Timeout, 0);
  EXPECT_EQ(saved.WatchDogs[1].Raw, 4095);
  EXPECT_EQ(saved.WatchDogs[1].Value, 20.0);
}

TEST_F(OutraSettingsSave, StopsAtTheFirstFailedWriteWithoutRetrying) {
  const std::vector<std::string> order = {"SetRanges", "SetWatchDogTimeouts", "SetWatchDogValues"};
  for (size_t failing = 0; failing < order.size(); ++failing) {
    SCOPED_TRACE(order[failing]);
    auto outra = korvan::CreateObject<TFakeOutra>(0x31);
    outra->FailOn = order[failing];
    TOutraSaveRequest request;
    request.Code = 3;
    request.Enabled = {true, true};
    request.Timeout = {1, 86400};
    request.Value = {-10.0, 10.0};
    TOutraSettings saved;
    saved.Code1 = 7;
    const TSaveResult s = SaveOutra(*outra, request, &saved);
    EXPECT_FALSE(s.Ok);
    EXPECT_EQ(s.Message, "Nastavení se nepodařilo uložit do modulu Outra!");
    EXPECT_EQ(saved.Code1, 7);  // untouched on failure
    const std::vector<std::string> all = {"SetRanges 3 3", "SetWatchDogTimeouts 1 86400",
                                          "SetWatchDogValues 0 4095"};
    EXPECT_EQ(outra->Calls, std::vector<std::string>(all.begin(), all.begin() + long(failing) + 1));
  }
}

// ---- Connecting with the presence check --------------------------------------
// The only part that needs a line: whether the record stays connected can be
// seen from inside the process only.

TEST_F(SettingsConnect, AnAnsweringModuleStaysConnectedAndGivesItsIdentification) {
  korvan::test::TSimProcess sim({"--module", "ingra", "--tcp", "127.0.0.1:0"});
  ASSERT_TRUE(sim.Started());
  const std::string connection =
      "provider=TCP_CLIENT;host=127.0.0.1;port=" + std::to_string(sim.TcpPort());
  TKorvanStackDeviceIngraRec record;
  const TConnectResult c = ConnectIngra(record, connection);
  EXPECT_TRUE(c.Ok);
  EXPECT_EQ(c.Message, "");
  EXPECT_EQ(c.Identification, "Ingra;v1.0;simulated");
  EXPECT_EQ(record.GetConnectionString(), connection);
  EXPECT_TRUE(record.IsConnected());
  record.Disconnect();
}

TEST_F(SettingsConnect, ASilentModuleIsDisconnectedAgainWithItsModulesMessage) {
  korvan::test::TSimProcess ingraSim({"--module", "ingra", "--silent", "--tcp", "127.0.0.1:0"});
  korvan::test::TSimProcess outraSim({"--module", "outra", "--silent", "--tcp", "127.0.0.1:0"});
  ASSERT_TRUE(ingraSim.Started());
  ASSERT_TRUE(outraSim.Started());

  TKorvanStackDeviceIngraRec ingra;
  ingra.Device()->SetTimeout(200);
  const TConnectResult i = ConnectIngra(
      ingra, "provider=TCP_CLIENT;host=127.0.0.1;port=" + std::to_string(ingraSim.TcpPort()));
  EXPECT_FALSE(i.Ok);
  EXPECT_EQ(i.Message, "Nepodařilo se připojit k modulu Ingra!");
  EXPECT_FALSE(ingra.IsConnected());

  TKorvanStackDeviceOutraRec outra;
  outra.Device()->SetTimeout(200);
  const TConnectResult o = ConnectOutra(
      outra, "provider=TCP_CLIENT;host=127.0.0.1;port=" + std::to_string(outraSim.TcpPort()));
  EXPECT_FALSE(o.Ok);
  EXPECT_EQ(o.Message, "Nepodařilo se připojit k modulu Outra!");
  EXPECT_FALSE(outra.IsConnected());
}

TEST_F(SettingsConnect, ALineThatCannotBeOpenedGivesTheOpenMessageForEitherModule) {
  korvan::test::TPortDir dir;  // empty: COM200 maps to nothing
  TKorvanStackDeviceIngraRec ingra;
  const TConnectResult i = ConnectIngra(ingra, "provider=SERIAL_PORT;comport=200");
  EXPECT_FALSE(i.Ok);
  EXPECT_EQ(i.Message, "Nepodařilo se otevřít spojení!");
  EXPECT_FALSE(ingra.IsConnected());

  TKorvanStackDeviceOutraRec outra;
  const TConnectResult o = ConnectOutra(outra, "provider=SERIAL_PORT;comport=200");
  EXPECT_FALSE(o.Ok);
  EXPECT_EQ(o.Message, "Nepodařilo se otevřít spojení!");
  EXPECT_FALSE(outra.IsConnected());
}
