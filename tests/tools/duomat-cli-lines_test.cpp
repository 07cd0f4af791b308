// duomat-cli run as a process against korvan-sim on every kind of line, in text and JSON.
#ifdef DUOMAT_CLI_PATH
#include <gtest/gtest.h>

#include "tools/TCliSession.h"

using namespace clitest;

namespace {
class CliOnALine : public ::testing::TestWithParam<TLine> {};

std::string LineName(const ::testing::TestParamInfo<TLine>& info) {
  return info.param == TLine::Tcp ? "Tcp" : info.param == TLine::SerialPort ? "SerialPort"
                                          : info.param == TLine::Hid      ? "Hid"
                                                                          : "Ftdi";
}
}  // namespace

// ---- Every command, in text and in JSON, on both kinds of line -------------

TEST_P(CliOnALine, IngraIdentifiesLoadsAndSavesInTextAndJson) {
  TSimulatedModule module(GetParam(), {"--module", "ingra"});
  ASSERT_TRUE(module.Started());

  TRun r = module.Run({"ingra", "identify"});
  EXPECT_EQ(r.Status, 0) << r;
  EXPECT_EQ(r.Out, "Ingra;v1.0;simulated\nidentification=Ingra;v1.0;simulated\n");
  EXPECT_EQ(r.Err, "");

  r = module.Run({"--json", "ingra", "identify"});
  EXPECT_EQ(r.Status, 0) << r;
  json j = JsonOf(r);
  EXPECT_EQ(Keys(j), (std::set<std::string>{"ok", "message", "identification"})) << j;
  EXPECT_EQ(j.value("ok", false), true);
  EXPECT_TRUE(j["message"].is_string());
  EXPECT_EQ(j.value("identification", ""), "Ingra;v1.0;simulated");

  r = module.Run({"ingra", "load"});
  EXPECT_EQ(r.Status, 0) << r;
  EXPECT_EQ(r.Out, std::string(IngraLoaded) + "\ncodes=1 1 1 1\nrange=4 - 20 mA\n");
  EXPECT_EQ(r.Err, "");

  r = module.Run({"--json", "ingra", "load"});
  EXPECT_EQ(r.Status, 0) << r;
  ExpectIngraJson(JsonOf(r), IngraLoaded, {1, 1, 1, 1}, "4 - 20 mA");

  r = module.Run({"ingra", "save", "0 - 20 mA"});
  EXPECT_EQ(r.Status, 0) << r;
  EXPECT_EQ(r.Out, std::string(IngraSaved) + "\ncodes=2 2 2 2\nrange=0 - 20 mA\n");
  EXPECT_EQ(r.Err, "");
  r = module.Run({"--json", "ingra", "load"});
  ExpectIngraJson(JsonOf(r), IngraLoaded, {2, 2, 2, 2}, "0 - 20 mA");

  r = module.Run({"--json", "ingra", "save", "1"});  // a code instead of the text
  EXPECT_EQ(r.Status, 0) << r;
  ExpectIngraJson(JsonOf(r), IngraSaved, {1, 1, 1, 1}, "4 - 20 mA");
  r = module.Run({"ingra", "load"});
  EXPECT_EQ(r.Out, std::string(IngraLoaded) + "\ncodes=1 1 1 1\nrange=4 - 20 mA\n");
}

TEST_P(CliOnALine, OutraIdentifiesLoadsAndSavesInTextAndJson) {
  TSimulatedModule module(GetParam(), {"--module", "outra"});
  ASSERT_TRUE(module.Started());

  TRun r = module.Run({"outra", "identify"});
  EXPECT_EQ(r.Status, 0) << r;
  EXPECT_EQ(r.Out, "Outra;v1.0;simulated\nidentification=Outra;v1.0;simulated\n");
  EXPECT_EQ(r.Err, "");

  r = module.Run({"--json", "outra", "identify"});
  EXPECT_EQ(r.Status, 0) << r;
  json j = JsonOf(r);
  EXPECT_EQ(Keys(j), (std::set<std::string>{"ok", "message", "identification"})) << j;
  EXPECT_EQ(j.value("identification", ""), "Outra;v1.0;simulated");

  r = module.Run({"outra", "load"});
  EXPECT_EQ(r.Status, 0) << r;
  EXPECT_EQ(r.Out, std::string(OutraLoaded) +
                       "\ncodes=1 1\nrange=0 - 10 V\n"
                       "watchdog1=off\ntimeout1=0\nvalue1=0.00\nraw1=0\n"
                       "watchdog2=off\ntimeout2=0\nvalue2=0.00\nraw2=0\n");
  EXPECT_EQ(r.Err, "");

  r = module.Run({"--json", "outra", "save", "--range", "4 - 20 mA", "--timeout1", "60", "--value1",
                  "12", "--value2", "4"});
  EXPECT_EQ(r.Status, 0) << r;
  ExpectOutraJson(JsonOf(r), OutraSaved, {5, 5}, "4 - 20 mA",
                  {{true, 60, 12.0, 2048}, {false, 0, 4.0, 0}});

  r = module.Run({"outra", "load"});
  EXPECT_EQ(r.Status, 0) << r;
  EXPECT_EQ(r.Out, std::string(OutraLoaded) +
                       "\ncodes=5 5\nrange=4 - 20 mA\n"
                       "watchdog1=on\ntimeout1=60\nvalue1=12.00\nraw1=2048\n"
                       "watchdog2=off\ntimeout2=0\nvalue2=4.00\nraw2=0\n");

  // Turning watchdog 1 off keeps its value, and options not given keep the rest.
  r = module.Run({"outra", "save", "--timeout1", "0", "--timeout2", "86400"});
  EXPECT_EQ(r.Status, 0) << r;
  EXPECT_EQ(r.Out, std::string(OutraSaved) +
                       "\ncodes=5 5\nrange=4 - 20 mA\n"
                       "watchdog1=off\ntimeout1=0\nvalue1=12.00\nraw1=2048\n"
                       "watchdog2=on\ntimeout2=86400\nvalue2=4.00\nraw2=0\n");
  EXPECT_EQ(r.Err, "");

  r = module.Run({"--json", "outra", "load"});
  EXPECT_EQ(r.Status, 0) << r;
  ExpectOutraJson(JsonOf(r), OutraLoaded, {5, 5}, "4 - 20 mA",
                  {{false, 0, 12.0, 2048}, {true, 86400, 4.0, 0}});
}

// ---- The frames on the line ---------------------------------------------------

TEST_P(CliOnALine, IngraSaveWritesExactlyTheWindowsFramesAndLogsEveryFrame) {
  TSimulatedModule module(GetParam(), {"--module", "ingra", "--codes", "2,2,2,2"});
  ASSERT_TRUE(module.Started());
  const TRun r = module.Run({"--log", "ingra", "save", "4 - 20 mA"});
  EXPECT_EQ(r.Status, 0) << r;
  EXPECT_EQ(r.Out, std::string(IngraSaved) + "\ncodes=1 1 1 1\nrange=4 - 20 mA\n");

  const TTraffic t = TrafficOf(r.Err);
  EXPECT_TRUE(t.Other.empty()) << r;
  // Presence check, load, the save's own read, enable configuration, write.
  const std::vector<std::string> expected = {
      Request(1, 0xF3), Request(2, 0x1B), Request(3, 0x1B), Request(4, 0xE4),
      Request(5, 0x1A, Bytes({0x01, 0x01, 0x02, 0x01, 0x03, 0x01, 0x04, 0x01}))};
  EXPECT_EQ(t.Sent, expected);
  ASSERT_FALSE(t.Sent.empty());
  EXPECT_EQ(t.Sent[0], "2A 61 00 05 31 01 F3 4A 0D");

  // Every answer was read and logged: one acknowledged frame per request.
  const std::vector<korvan::TKorvanFormat97> answers = t.Answers();
  ASSERT_EQ(answers.size(), 5u) << Hex(t.Received);
  for (size_t i = 0; i < answers.size(); ++i) {
    EXPECT_EQ(int(answers[i].SIG), int(i + 1));
    EXPECT_EQ(answers[i].code, 0);
  }
  EXPECT_EQ(answers[1].data, Bytes({0x01, 0x02, 0x02, 0x02, 0x03, 0x02, 0x04, 0x02}));
}

TEST_P(CliOnALine, OutraSaveWritesRangesThenTimeoutsThenOneValueFramePerOutput) {
  TSimulatedModule module(GetParam(), {"--module", "outra"});
  ASSERT_TRUE(module.Started());
  const TRun r = module.Run({"--log", "outra", "save", "--range", "5", "--timeout1", "60",
                             "--value1", "20", "--timeout2", "0", "--value2", "4"});
  EXPECT_EQ(r.Status, 0) << r;
  const TTraffic t = TrafficOf(r.Err);
  EXPECT_TRUE(t.Other.empty()) << r;
  const std::vector<std::string> expected = {
      Request(1, 0xF3),
      Request(2, 0xC1),
      Request(3, 0xC3),
      Request(4, 0xC5),
      Request(5, 0xC0, Bytes({0x01, 0x05, 0x02, 0x05})),
      Request(6, 0xC2, Bytes({0x01, 0x00, 0x00, 0x3C, 0x02, 0x00, 0x00, 0x00})),
      Request(7, 0xC4, Bytes({0x01, 0x0F, 0xFF})),
      Request(8, 0xC4, Bytes({0x02, 0x00, 0x00})),
  };
  EXPECT_EQ(t.Sent, expected);
  EXPECT_EQ(t.Answers().size(), expected.size()) << Hex(t.Received);
}

INSTANTIATE_TEST_SUITE_P(Lines, CliOnALine, ::testing::Values(TLine::Tcp, TLine::SerialPort, TLine::Ftdi, TLine::Hid),
                         LineName);

TEST(CliOutput, TheIdentificationIsPrintedWithItsControlsEscaped) {
  const std::string hostile = "\x1b]0;owned\x07\x1b[2K\rrange=forged\n";
  TSimulatedModule module(TLine::Tcp, {"--module", "ingra", "--identification", hostile});
  ASSERT_TRUE(module.Started());
  const std::string shown = "\\x1b]0;owned\\x07\\x1b[2K\\rrange=forged\\n";
  EXPECT_EQ(module.Run({"ingra", "identify"}).Out, shown + "\nidentification=" + shown + "\n");
  EXPECT_EQ(JsonOf(module.Run({"--json", "ingra", "identify"})).value("identification", ""), hostile);
}

// An Outra save against a slow module, signalled as the log shows its first

#endif  // DUOMAT_CLI_PATH
