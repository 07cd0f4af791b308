// duomat-cli scan and module run as processes against korvan-sim serving a
// bus of modules, on a pseudo-terminal and on TCP.
#ifdef DUOMAT_CLI_PATH
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/TRunProgram.h"
#include "support/TSimProcess.h"
#include "tools/TCliSession.h"

using korvan::test::TRun;
using nlohmann::json;

namespace {

enum class TBusLine { Pty, Tcp };

// Long enough for an answer on a loaded machine under a sanitizer; short
// enough that the silent addresses of the narrow ranges below cost little.
constexpr const char* kScanTimeout = "250";

// korvan-sim serving the given modules on a pseudo-terminal linked as COM7
// (opened at 9600 Bd) or on loopback TCP.
class TBus {
 public:
  TBus(TBusLine line, std::vector<std::string> options) : pty_(line == TBusLine::Pty) {
    if (pty_)
      options.insert(options.end(), {"--link", dir_.emplace().Link(7)});
    else
      options.insert(options.end(), {"--tcp", "127.0.0.1:0"});
    sim_ = std::make_unique<korvan::test::TSimProcess>(options);
    connection_ =
        pty_ ? "provider=SERIAL_PORT;comport=7;baudrate=9600"
             : "provider=TCP_CLIENT;host=127.0.0.1;port=" + std::to_string(sim_->TcpPort());
  }
  bool Started() const { return sim_->Started(); }
  // "9600  " where the line has a rate.
  std::string Rate(const char* rate = "9600") const { return pty_ ? std::string(rate) + "  " : ""; }
  TRun Run(const std::vector<std::string>& options,
           const korvan::test::TRunWatch& watch = {}) const {
    return clitest::RunCli(clitest::Join({"-c", connection_}, options), watch);
  }
  // What a short scan of the range prints.
  std::string Scan(const char* from, const char* to, std::vector<std::string> more = {}) const {
    more.insert(more.begin(), {"scan", "--from", from, "--to", to, "--scan-timeout", kScanTimeout});
    return Run(more).Out;
  }

 private:
  bool pty_;
  // DUOMAT_PORT_DIR while it lives: one pseudo-terminal bus at a time.
  std::optional<korvan::test::TPortDir> dir_;  // outlives the simulator, which removes its link
  std::unique_ptr<korvan::test::TSimProcess> sim_;
  std::string connection_;
};

// The frames written, as --log shows them.
int FramesSent(const TRun& r) {
  int n = 0;
  for (size_t at = r.Err.find("] => "); at != std::string::npos; at = r.Err.find("] => ", at + 1))
    ++n;
  return n;
}

const std::vector<std::string> kTwoModules = {"--module",  "ingra", "--address", "0x31",
                                              "--numbers", "1,2,3", "--module",  "outra",
                                              "--address", "0x32",  "--numbers", "4,5,6"};

class CliBus : public ::testing::TestWithParam<TBusLine> {};

std::string BusLineName(const ::testing::TestParamInfo<TBusLine>& info) {
  return info.param == TBusLine::Pty ? "Pty" : "Tcp";
}

}  // namespace

TEST_P(CliBus, ScanFindsEveryModuleWithItsIdentificationAndNothingElse) {
  const TBus bus(GetParam(), kTwoModules);
  ASSERT_TRUE(bus.Started());
  TRun r =
      bus.Run({"--log", "scan", "--from", "0x2F", "--to", "0x34", "--scan-timeout", kScanTimeout});
  EXPECT_EQ(r.Status, 0) << r;
  EXPECT_EQ(r.Out, "0x31  " + bus.Rate() + "Ingra;v1.0;simulated\n0x32  " + bus.Rate() +
                       "Outra;v1.0;simulated\n");
  EXPECT_EQ(FramesSent(r), 6) << r;

  r = bus.Run({"scan", "--from", "0x31", "--to", "0x32", "--json", "--scan-timeout", kScanTimeout});
  EXPECT_EQ(r.Status, 0) << r;
  const json rate = GetParam() == TBusLine::Pty ? json(9600) : json(nullptr);
  const json expected = {{"ok", true},
                         {"modules",
                          {{{"address", 49},
                            {"baudrate", rate},
                            {"name", "Ingra"},
                            {"identification", "Ingra;v1.0;simulated"}},
                           {{"address", 50},
                            {"baudrate", rate},
                            {"name", "Outra"},
                            {"identification", "Outra;v1.0;simulated"}}}},
                         {"scanned", 2}};
  EXPECT_EQ(json::parse(r.Out, nullptr, false), expected) << r;
  EXPECT_EQ(r.Err, "") << r;  // no progress when standard error is no terminal

  // Nobody in the range: exit 1, an empty list.
  r = bus.Run({"--json", "scan", "--from", "7", "--to", "9", "--scan-timeout", kScanTimeout});
  EXPECT_EQ(r.Status, 1) << r;
  EXPECT_EQ(json::parse(r.Out, nullptr, false),
            json::parse(R"({"ok":false,"modules":[],"scanned":3})"))
      << r;
}

TEST_P(CliBus, QuickStopsAfterOneModuleConfirmsAndFallsBackWhenAnswersCollide) {
  {
    const TBus one(GetParam(), {"--module", "outra", "--address", "0x45"});
    ASSERT_TRUE(one.Started());
    const TRun r = one.Run({"--log", "scan", "--quick", "--from", "0x44", "--to", "0x46",
                            "--scan-timeout", kScanTimeout});
    EXPECT_EQ(r.Status, 0) << r;
    EXPECT_EQ(r.Out, "0x45  " + one.Rate() + "Outra;v1.0;simulated\n");
    EXPECT_EQ(FramesSent(r), 2) << r;  // 0xF0 to 0xFE, then the identification at 0x45
  }
  const TBus two(GetParam(), kTwoModules);
  ASSERT_TRUE(two.Started());
  const TRun r = two.Run({"--log", "scan", "--quick", "--from", "0x30", "--to", "0x33",
                          "--scan-timeout", kScanTimeout});
  EXPECT_EQ(r.Status, 0) << r;
  EXPECT_EQ(r.Out, "0x31  " + two.Rate() + "Ingra;v1.0;simulated\n0x32  " + two.Rate() +
                       "Outra;v1.0;simulated\n");
  EXPECT_EQ(FramesSent(r), 1 + 4) << r;
}

TEST_P(CliBus, ModuleCommandsReadAndChangeTheSharedSettings) {
  const TBus bus(GetParam(), kTwoModules);
  ASSERT_TRUE(bus.Started());
  struct TCase {
    std::vector<std::string> Args;
    int Status;
    std::string Out;
  };
  const std::vector<TCase> cases = {
      {{"module", "identify"},
       0,
       "Ingra;v1.0;simulated\naddress=0x31\nidentification=Ingra;v1.0;simulated\n"},
      {{"--address", "0x32", "module", "address"},
       0,
       "The module at 0x32 has the address 0x32 and the rate 9600 "
       "Bd.\naddress=0x32\nbaudrate=9600\n"},
      {{"--json", "--address", "50", "module", "numbers"},
       0,
       R"({"ok":true,"message":"The numbers of the module at 0x32.","a":4,"b":5,"number":6})"
       "\n"},
      {{"--timeout", "300", "module", "set-address", "0x32"}, 1, ""},  // taken
      {{"module", "set-address", "0x31"}, 1, ""},                      // where it is
      {{"--timeout", "300", "module", "set-address", "0x40"},
       0,
       "0x31 -> 0x40\nold_address=0x31\nnew_address=0x40\nidentification=Ingra;v1.0;simulated\n"},
      {{"--json", "module", "assign-address", "0x41", "--numbers", "4,5"},
       0,
       R"({"ok":true,"message":"The module with the numbers 4,5 is now at 0x41.","new_address":65,)"
       R"("identification":"Outra;v1.0;simulated"})"
       "\n"},
      {{"module", "identify"}, 1, ""},
      // Back to the factory address, through the universal address like any other.
      {{"module", "assign-address", "0x31", "--numbers", "1,2"},
       0,
       "The module with the numbers 1,2 is now at 0x31.\nnew_address=0x31\nidentification=Ingra;v1.0;simulated\n"},
      // A taken address is refused: two modules at one address vanish both.
      {{"--timeout", "300", "module", "assign-address", "0x41", "--numbers", "1,2"}, 1, ""},
      {{"module", "identify"},
       0,
       "Ingra;v1.0;simulated\naddress=0x31\nidentification=Ingra;v1.0;simulated\n"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.Args));
    const TRun r = bus.Run(c.Args);
    EXPECT_EQ(r.Status, c.Status) << r;
    EXPECT_EQ(r.Out, c.Out) << r;
  }
  EXPECT_EQ(bus.Scan("0x40", "0x41"), "0x41  " + bus.Rate() + "Outra;v1.0;simulated\n");
}

TEST_P(CliBus, TextInTheModulesCentralEuropeanCodePageReachesJsonAsUtf8) {
  const TBus bus(GetParam(), {"--module", "ingra", "--identification", "\xC8" "erpadlo 1"});
  ASSERT_TRUE(bus.Started());
  for (const auto& args : {std::vector<std::string>{"--json", "ingra", "identify"},
                           std::vector<std::string>{"--json", "module", "identify"}}) {
    const TRun r = bus.Run(args);
    EXPECT_EQ(r.Status, 0) << r;
    EXPECT_NE(r.Out.find("\"identification\":\"\xC4\x8C" "erpadlo 1\""), std::string::npos) << r;
  }
}

TEST_P(CliBus, TwoModulesAtOneAddressAreReportedAsACollisionNotAsSilence) {
  const TBus bus(GetParam(), {"--module", "ingra", "--address", "0x31", "--module", "outra", "--address", "0x31"});
  ASSERT_TRUE(bus.Started());
  TRun r = bus.Run({"--json", "scan", "--from", "0x31", "--to", "0x31", "--scan-timeout", kScanTimeout});
  const json j = json::parse(r.Out, nullptr, false);
  ASSERT_TRUE(j.is_object()) << r;
  ASSERT_EQ(j["modules"].size(), 1u) << r;
  EXPECT_EQ(j["modules"][0].value("collision", false), true) << r;
  for (const char* command : {"identify", "numbers", "address"}) {
    r = bus.Run({"--timeout", kScanTimeout, "module", command});
    EXPECT_EQ(r.Status, 1) << r;
    EXPECT_NE(r.Err.find("Several modules answer at 0x31"), std::string::npos) << command << r;
  }
}

TEST_P(CliBus, SetAddressAtTheUniversalAddressNamesTheModulesOwnAddress) {
  const TBus bus(GetParam(), {"--module", "ingra", "--address", "0x33"});
  ASSERT_TRUE(bus.Started());
  const TRun r = bus.Run({"--address", "0xFE", "module", "set-address", "0x40"});
  EXPECT_EQ(r.Status, 0) << r;
  EXPECT_EQ(r.Out.substr(0, r.Out.find('\n')), "0x33 -> 0x40") << r;
}

TEST_P(CliBus, UsageErrorsExitWithTwoAndSendNothing) {
  const TBus bus(GetParam(), kTwoModules);
  ASSERT_TRUE(bus.Started());
  std::vector<std::vector<std::string>> cases = {
      {"scan", "--from", "254"},
      {"scan", "--from", "5", "--to", "4"},
      {"scan", "--scan-timeout", "0"},
      {"scan", "--baudrates", "9600,1234"},
      {"scan", "--baudrates", ""},
      {"module"},
      {"module", "set-baud", "19201"},
      {"module", "set-address", "254"},
      {"module", "assign-address", "0x40"},
      {"module", "assign-address", "0x40", "--numbers", "1"},
      {"module", "assign-address", "1", "--numbers", "1,70000"},
      {"--address", "255", "module", "identify"},
      {"--address", "0xFF", "ingra", "load"},
      {"--address", "0xFF", "outra", "output"}};
  if (GetParam() == TBusLine::Tcp)
    cases.push_back({"scan", "--baudrates", "9600"});  // a line without a rate
  for (const auto& args : cases) {
    SCOPED_TRACE(testing::PrintToString(args));
    std::vector<std::string> logged = {"--log"};
    logged.insert(logged.end(), args.begin(), args.end());
    const TRun r = bus.Run(logged);
    EXPECT_EQ(r.Status, 2) << r;
    EXPECT_EQ(r.Out, "") << r;
    EXPECT_EQ(FramesSent(r), 0) << r;
  }
}

TEST_P(CliBus, SigintStopsTheScanPrintsWhatWasFoundAndExits130) {
  const TBus bus(GetParam(),
                 {"--module", "ingra", "--address", "0", "--module", "outra", "--address", "0x31"});
  ASSERT_TRUE(bus.Started());
  bool sent = false;
  // Once the first answer was read; 0x31 lies 48 silent half-seconds further on.
  const TRun r =
      bus.Run({"--log", "scan", "--scan-timeout", "500"}, [&](pid_t pid, const TRun& sofar) {
        if (!sent && sofar.Err.find("] <= ") != std::string::npos) sent = kill(pid, SIGINT) == 0;
      });
  EXPECT_TRUE(sent);
  EXPECT_EQ(r.Status, 130) << r;
  EXPECT_EQ(r.Out, "0x00  " + bus.Rate() + "Ingra;v1.0;simulated\n") << r;
}

INSTANTIATE_TEST_SUITE_P(Lines, CliBus, ::testing::Values(TBusLine::Pty, TBusLine::Tcp),
                         BusLineName);

// ---- Rates: only a line with one (a pseudo-terminal here) -------------------

TEST(CliBusRates, TheRateScanFindsAModuleAtItsRateOnly) {
  const TBus bus(TBusLine::Pty, {"--module", "ingra", "--baud", "19200"});
  ASSERT_TRUE(bus.Started());
  EXPECT_EQ(
      bus.Run({"scan", "--from", "0x31", "--to", "0x31", "--scan-timeout", kScanTimeout}).Status,
      1);
  const TRun r = bus.Run({"--json", "scan", "--from", "0x31", "--to", "0x31", "--scan-timeout",
                          kScanTimeout, "--baudrates", "all"});
  EXPECT_EQ(r.Status, 0) << r;
  const json j = json::parse(r.Out, nullptr, false);
  EXPECT_EQ(j.value("scanned", 0), 12) << r;
  ASSERT_EQ(j["modules"].size(), 1u) << r;
  EXPECT_EQ(j["modules"][0].value("baudrate", 0), 19200) << r;
}

TEST(CliBusRates, SetBaudSwitchesModuleAndLineAndVerifiesOnASerialLineOnly) {
  const TBus pty(TBusLine::Pty, {"--module", "ingra", "--baud", "9600"});
  const TBus tcp(TBusLine::Tcp, {"--module", "ingra"});
  ASSERT_TRUE(pty.Started() && tcp.Started());
  TRun r = pty.Run({"--json", "module", "set-baud", "19200"});
  EXPECT_EQ(r.Status, 0) << r;
  json j = json::parse(r.Out, nullptr, false);
  EXPECT_EQ(j.value("verified", false), true) << r;
  EXPECT_EQ(j.value("identification", ""), "Ingra;v1.0;simulated") << r;
  // The module stays at its new rate; the line opens at 9600 again.
  EXPECT_EQ(pty.Scan("0x31", "0x31", {"--baudrates", "9600,19200"}),
            "0x31  19200  Ingra;v1.0;simulated\n");
  // A rate named twice is scanned once.
  EXPECT_EQ(pty.Scan("0x31", "0x31", {"--baudrates", "19200,19200"}), "0x31  19200  Ingra;v1.0;simulated\n");

  r = tcp.Run({"--json", "module", "set-baud", "19200"});
  EXPECT_EQ(r.Status, 0) << r;
  j = json::parse(r.Out, nullptr, false);
  EXPECT_EQ(j.value("verified", true), false) << r;
  EXPECT_NE(j.value("message", "").find("converter"), std::string::npos) << r;
}

#endif  // DUOMAT_CLI_PATH
