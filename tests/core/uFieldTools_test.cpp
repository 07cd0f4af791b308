// The logic under the window's field-work dialogs: the comparison table, the
// output test's time window and watchdog clock, and a line moved to a new rate.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/uModuleLine.h"
#include "core/uOutputTrace.h"
#include "core/uProfileTable.h"

namespace duomat {
namespace {

TOutraSettings Outra(uint8_t code, int timeout1, int raw2) {
  TOutraSettings s;
  s.Code1 = s.Code2 = code;
  s.WatchDogs[0] = {timeout1 > 0, timeout1, OutraRawToValue(0, code), 0};
  s.WatchDogs[1] = {false, 0, OutraRawToValue(raw2, code), raw2};
  return s;
}

TEST(ProfileTable, MarksExactlyWhatApplyWouldWriteAndShowsEverySetting) {
  const TProfile file = ParseProfile(
      ParseJsonText(R"({"module":"outra","codes":[1,1],"watchdogs":[{"timeout":60,"raw":0},{"timeout":0,"raw":2048}]})"),
      TModuleKind::Outra);
  const std::vector<TProfileRow> rows = ProfileRows(Outra(1, 0, 2048), file);
  ASSERT_EQ(rows.size(), 6u);
  std::vector<std::string> differing;
  for (const TProfileRow& r : rows)
    if (r.Differs) differing.push_back(r.Setting);
  EXPECT_EQ(differing, std::vector<std::string>{"watchdog 1 timeout"});
  EXPECT_EQ(rows[2].Module, "0 s");
  EXPECT_EQ(rows[2].File, "60 s");
  // A value one raw step apart differs although both show 5.00 V.
  const std::vector<TProfileRow> close = ProfileRows(Outra(1, 60, 2047), file);
  EXPECT_TRUE(close[5].Differs);
  EXPECT_EQ(close[5].Module, close[5].File);
}

TEST(ProfileTable, IngraRowsFollowTheInputs) {
  TProfile file;
  file.IngraCodes = {1, 2, 1, 1};
  const TProfileTable table{true, "", ProfileRows(korvan::TIngraRanges{1, 1, 1, 1}, file)};
  ASSERT_EQ(table.Rows.size(), 4u);
  EXPECT_EQ(table.Differences(), 1u);
  EXPECT_EQ(table.Rows[1].File + (table.Rows[1].Differs ? " differs" : ""), "0 - 20 mA differs");
}

TEST(ConnectionWithRate, SetsTheRateItemAndKeepsTheRest) {
  const struct {
    const char* connection;
    const char* expected;
  } cases[] = {
      {"provider=SERIAL_PORT;comport=3;baudrate=9600", "provider=SERIAL_PORT;comport=3;baudrate=19200"},
      // Any letter case; only the first rate item counts for the reader, so only it changes.
      {"provider=FTD_USB;BaudRate=9600;serial=A1", "provider=FTD_USB;baudrate=19200;serial=A1"},
      {"provider=SERIAL_PORT;comport=3", "provider=SERIAL_PORT;comport=3;baudrate=19200"},
      // A value in parentheses may hold ";".
      {"provider=SERIAL_PORT;name=(a;b);baudrate=600", "provider=SERIAL_PORT;name=(a;b);baudrate=19200"},
      // Unreadable items: the rate goes in front, where the first item of a key wins.
      {"provider=SERIAL_PORT;garbage", "baudrate=19200;provider=SERIAL_PORT;garbage"},
  };
  for (const auto& c : cases) EXPECT_EQ(ConnectionWithRate(c.connection, 19200), c.expected) << c.connection;
}

TEST(OutputTrace, KeepsTwoMinutesAndCarriesTheSetValueToNow) {
  TOutputTrace trace;
  trace.Set(0, 0, 1.0);
  trace.Set(0, 100, 2.0);
  for (int t = 0; t <= 200; t += 50) trace.ReadBack(0, t, t / 100.0);
  trace.Forget(200);
  // The set line enters at the window's edge with the value then in force.
  const std::vector<TTracePoint> set = trace.SetLine(0, 200);
  ASSERT_EQ(set.size(), 4u);
  EXPECT_DOUBLE_EQ(set[0].Time, 80);
  EXPECT_DOUBLE_EQ(set[0].Value, 1.0);
  EXPECT_DOUBLE_EQ(set[1].Time, 100);
  EXPECT_DOUBLE_EQ(set[2].Value, 2.0);
  EXPECT_DOUBLE_EQ(set[3].Time, 200);
  const std::vector<TTracePoint> read = trace.ReadLine(0, 200);
  ASSERT_EQ(read.size(), 3u);
  EXPECT_DOUBLE_EQ(read.front().Time, 100);
  // Long after the last command, the value still in force is kept.
  trace.Forget(1000);
  EXPECT_EQ(trace.SetLine(0, 1000).size(), 2u);
  EXPECT_TRUE(trace.ReadLine(0, 1000).empty());
}

TEST(WatchDogClock, RunsUntilTheTimeOutThenTheModuleTakesOver) {
  const struct {
    int timeout;
    double since;
    TWatchDogClock::TState state;
  } cases[] = {
      {0, 500, TWatchDogClock::TState::Off},
      {10, 9.99, TWatchDogClock::TState::Running},
      {10, 10, TWatchDogClock::TState::Expired},
      {10, -1, TWatchDogClock::TState::Running},  // a clock that stepped back
  };
  for (const auto& c : cases) EXPECT_EQ(WatchDogClock(c.timeout, c.since).State, c.state) << c.timeout << " " << c.since;
}

}  // namespace
}  // namespace duomat
