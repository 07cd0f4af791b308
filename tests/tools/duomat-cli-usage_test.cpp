// duomat-cli's usage errors end to end: exit 2 and nothing sent.
#ifdef DUOMAT_CLI_PATH
#include <gtest/gtest.h>

#include "tools/TCliSession.h"

using namespace clitest;

TEST(CliUsage, UsageErrorsExitWithTwoAndSendNothing) {
  TSimulatedModule ingra(TLine::Tcp, {"--module", "ingra"});
  TSimulatedModule outra(TLine::Tcp, {"--module", "outra"});
  ASSERT_TRUE(ingra.Started());
  ASSERT_TRUE(outra.Started());
  // What the parser and the shared checks refuse is tested in-process
  // (uCliArguments_test); one case of each here, through the program.
  const std::vector<std::vector<std::string>> ingraCases = {
      {"ingra", "erase"},
      {"--address", "x31", "ingra", "load"},
      {"ingra", "save", "0 - 24 mA"},
      {"ingra", "save", "3"},
      {"ingra", "save", "4-20 mA"},
  };
  const std::vector<std::vector<std::string>> outraCases = {
      {"outra", "save", "--range", "8"},
      {"outra", "save", "--range", "0"},
      {"outra", "save", "--range", "0 - 30 V"},
      {"outra", "save", "--range", "5", "--value1", "3.99"},
      {"outra", "save", "--range", "4 - 20 mA", "--value1", "20.01"},
      {"outra", "save", "--range", "-10 - 10 V", "--value2", "-10.5"},
      {"outra", "save", "--timeout1", "86401"},
      {"outra", "save", "--timeout2", "-1"},
      {"outra", "save", "--timeout1", "1.5"},
      {"outra", "save", "--timeout1", "12x"},
      {"outra", "save", "--timeout1", ""},
      {"outra", "save", "--value1", "abc"},
      {"outra", "save", "--value1", "1.2.3"},
      {"outra", "save", "--value2", "nan"},
      {"outra", "save", "--value2", "inf"},
      {"outra", "save", "--value1", ""},
  };
  const auto check = [](const TSimulatedModule& module, const std::vector<std::string>& args) {
    std::string joined;
    for (const auto& a : args) joined += " '" + a + "'";
    SCOPED_TRACE(joined);
    const TRun r = module.Run(Join({"--log"}, args));
    EXPECT_EQ(r.Status, 2) << r;
    EXPECT_EQ(r.Out, "");
    EXPECT_NE(r.Err, "");
    const TTraffic t = TrafficOf(r.Err);
    EXPECT_TRUE(t.Sent.empty()) << r;
  };
  for (const auto& args : ingraCases) check(ingra, args);
  for (const auto& args : outraCases) check(outra, args);
  EXPECT_EQ(RunCli({"ingra", "load"}).Status, 2);  // no connection string
}

TEST(CliUsage, AValueOutsideTheRangeNamesTheLimits) {
  TSimulatedModule module(TLine::Tcp, {"--module", "outra"});
  ASSERT_TRUE(module.Started());
  TRun r = module.Run({"outra", "save", "--range", "4 - 20 mA", "--value1", "3.99"});
  EXPECT_EQ(r.Status, 2) << r;
  EXPECT_TRUE(Names(r.Err, {"4", "20"})) << r;

  r = module.Run({"outra", "save", "--timeout2", "86401"});
  EXPECT_EQ(r.Status, 2) << r;
  EXPECT_TRUE(Names(r.Err, {"0", "86400"})) << r;

  r = module.Run({"--json", "outra", "save", "--range", "3", "--value1", "11"});
  EXPECT_EQ(r.Status, 2) << r;
  const json j = JsonOf(r);
  EXPECT_EQ(Keys(j), (std::set<std::string>{"ok", "message"})) << j;
  EXPECT_EQ(j.value("ok", true), false) << j;
  EXPECT_TRUE(Names(j.value("message", ""), {"-10", "10"})) << j;
  EXPECT_EQ(r.Err, "");
}

TEST(CliUsage, AValueOutsideTheModulesOwnRangeIsRefusedBeforeAnythingIsWritten) {
  TSimulatedModule module(TLine::Tcp, {"--module", "outra", "--ranges", "2,2"});  // 0 - 5 V
  ASSERT_TRUE(module.Started());
  const TRun r = module.Run({"--log", "outra", "save", "--value1", "5.5"});
  EXPECT_EQ(r.Status, 2) << r;
  EXPECT_EQ(r.Out, "");
  // Only the load that learns the range.
  EXPECT_EQ(TrafficOf(r.Err).Instructions(), (std::vector<int>{0xF3, 0xC1, 0xC3, 0xC5})) << r;
}

TEST(CliUsage, AWatchdogTimeoutIsDecimalEvenWithALeadingZero) {
  TSimulatedModule module(TLine::Tcp, {"--module", "outra"});
  ASSERT_TRUE(module.Started());
  const TRun r = module.Run({"--json", "outra", "save", "--timeout1", "060", "--timeout2", "09"});
  ASSERT_EQ(r.Status, 0) << r;
  const json j = JsonOf(r);
  EXPECT_EQ(j["watchdogs"][0].value("timeout", -1), 60) << j;
  EXPECT_EQ(j["watchdogs"][1].value("timeout", -1), 9) << j;
}

TEST(CliUsage, AConnectionStringIsCheckedKeyByKeyBeforeAnythingIsSent) {
  TSimulatedModule module(TLine::SerialPort, {"--module", "ingra"});  // on COM7
  ASSERT_TRUE(module.Started());
  // The keys' table runs in-process (uCliArguments_test); one refusal here.
  const TRun r = RunCli({"-c", "provider=SERIAL_PORT;comport=7;parity=evenn", "--log", "ingra", "load"});
  EXPECT_EQ(r.Status, 2) << r;
  EXPECT_TRUE(r.Out.empty() && TrafficOf(r.Err).Sent.empty()) << r;
  EXPECT_NE(r.Err.find(": parity"), std::string::npos) << r;
  // What the transports read stays accepted: blanks, hexadecimal, words in any case.
  EXPECT_EQ(RunCli({"-c", " provider = SERIAL_PORT ; comport = 0x7 ;parity=even;stopbits=1,5;dtr=0;rts=False",
                    "ingra", "identify"}).Status, 0);
}

// The parser's tables run in-process (uCliArguments_test); these are one
// case each through the program.
TEST(CliUsage, TheSharedOptionsWorkAfterTheCommandToo) {
  TSimulatedModule module(TLine::Tcp, {"--module", "ingra"});
  ASSERT_TRUE(module.Started());
  const TRun r = RunCli({"module", "identify", "--json", "-c", module.Connection(), "--address", "0x31"});
  EXPECT_EQ(r.Status, 0) << r;
  EXPECT_EQ(JsonOf(r).value("identification", ""), "Ingra;v1.0;simulated") << r;
}

TEST(CliUsage, AnUnknownCommandIsNamedWithTheNearestOneAndNothingIsSent) {
  TSimulatedModule module(TLine::Tcp, {"--module", "ingra"});
  ASSERT_TRUE(module.Started());
  const TRun r = module.Run({"--log", "ingra", "lod"});
  EXPECT_EQ(r.Status, 2) << r;
  EXPECT_EQ(r.Out, "") << r;
  EXPECT_NE(r.Err.find("unknown command 'lod'; did you mean 'load'?"), std::string::npos) << r;
  EXPECT_TRUE(TrafficOf(r.Err).Sent.empty()) << r;
}

TEST(CliUsage, HelpDocumentsEveryCommandAndOptionWithExamplesAndTheSharedTextsOnlyOnce) {
  const TRun top = RunCli({"--help"});
  EXPECT_EQ(top.Status, 0) << top;
  for (const char* word : {"--connection", "--address ADDR", "--timeout", "--log", "--json", "ingra", "outra", "ports",
                           "SERIAL_PORT", "TCP_CLIENT", "DUOMAT_PORT_DIR", "Examples:", "Exit status:", "scan --quick"})
    EXPECT_NE(top.Out.find(word), std::string::npos) << word;
  const TRun save = RunCli({"outra", "save", "--help"});
  for (const char* word : {"--range", "--timeout1", "--value1", "--timeout2", "--value2", "86400"})
    EXPECT_NE(save.Out.find(word), std::string::npos) << word;
  EXPECT_NE(RunCli({"ingra", "save", "--help"}).Out.find("RANGE CODE|TEXT"), std::string::npos);
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"scan"}, {"outra", "apply"}, {"ingra", "diff"}, {"batch"}, {"module"}, {"outra", "output"}}) {
    SCOPED_TRACE(testing::PrintToString(command));
    std::vector<std::string> help = command;
    help.push_back("--help");
    const TRun r = RunCli(help);
    EXPECT_EQ(r.Status, 0) << r;
    EXPECT_NE(r.Out.find("Examples:\n  duomat-cli "), std::string::npos) << r;
    EXPECT_EQ(r.Out.find("Exit status:"), std::string::npos) << r;
    EXPECT_EQ(r.Out.find("DUOMAT_PORT_DIR"), std::string::npos) << r;
    EXPECT_EQ(r.Out.find(" TEXT"), std::string::npos) << r;
    EXPECT_EQ(r.Out.find(" INT"), std::string::npos) << r;
  }
  // A command's help lists the shared options that apply to it.
  const TRun identify = RunCli({"module", "identify", "--help"});
  for (const char* word : {"--connection CONNECTION", "--address ADDR", "--timeout MS", "--log", "--json"})
    EXPECT_NE(identify.Out.find(word), std::string::npos) << word;
  const TRun ports = RunCli({"ports", "--help"});
  EXPECT_NE(ports.Out.find("--json"), std::string::npos) << ports;
  EXPECT_EQ(ports.Out.find("--address"), std::string::npos) << ports;
}

// korvan-sim reads numbers as duomat-cli does: 064 is sixty-four, not octal 52.
TEST(CliUsage, BothProgramsReadALeadingZeroAsDecimal) {
  TSimulatedModule module(TLine::Tcp, {"--module", "ingra", "--address", "064", "--delay", "010"});
  ASSERT_TRUE(module.Started());
  TRun r = module.Run({"--json", "--address", "64", "module", "identify"});
  EXPECT_EQ(r.Status, 0) << r;
  EXPECT_EQ(JsonOf(r).value("address", -1), 64) << r;
  r = module.Run({"--json", "--address", "064", "module", "identify"});
  EXPECT_EQ(r.Status, 0) << r;
}

#endif  // DUOMAT_CLI_PATH
