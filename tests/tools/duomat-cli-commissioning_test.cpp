// Commissioning with duomat-cli against korvan-sim: profiles (apply, dry
// run, diff), batch over many lines, and the output loop test.
#ifdef DUOMAT_CLI_PATH
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <fstream>
#include <set>
#include <memory>
#include <sstream>

#include "support/TRunProgram.h"
#include "support/TSimProcess.h"
#include "support/TTempDir.h"
#include "tools/TCliSession.h"

using korvan::test::RunProgram;
using korvan::test::TRun;
using korvan::test::TSimProcess;
using nlohmann::json;

namespace {

using clitest::RunCli;

// The instruction codes of the frames written, from --log on standard error.
std::vector<int> Written(const std::string& err) {
  std::vector<int> codes;
  std::istringstream in(err);
  for (std::string line; std::getline(in, line);)
    if (const size_t at = line.find("] => "); at != std::string::npos && line.size() >= at + 25)
      codes.push_back(std::stoi(line.substr(at + 5 + 18, 2), nullptr, 16));
  return codes;
}

// A simulated module on loopback TCP.
struct TSim {
  explicit TSim(std::vector<std::string> options) {
    options.insert(options.end(), {"--tcp", "127.0.0.1:0"});
    process = std::make_unique<TSimProcess>(options);
    connection = "provider=TCP_CLIENT;host=127.0.0.1;port=" + std::to_string(process->TcpPort());
  }
  TRun Run(std::vector<std::string> args) const {
    args.insert(args.begin(), {"-c", connection});
    return RunCli(args);
  }
  std::unique_ptr<TSimProcess> process;
  std::string connection;
};

class Commissioning : public ::testing::Test {
 protected:
  std::string File(const std::string& name, const std::string& text) {
    const std::string path = dir_.Path() + "/" + name;
    std::ofstream(path) << text;
    return path;
  }
  korvan::test::TTempDir dir_{"duomat-profiles"};
};

}  // namespace

// ---- apply, --dry-run and diff ----------------------------------------------------

TEST_F(Commissioning, AProfileSavedFromOneModuleMakesAnotherEqualWritingOnlyWhatDiffers) {
  struct TCase {
    std::vector<std::string> from, setUp, to;
    std::vector<int> writes;  // after the presence check and the load
  };
  const TCase cases[] = {
      {{"--module", "ingra", "--codes", "2,2,2,2"}, {}, {"--module", "ingra"}, {0xE4, 0x1A}},
      {{"--module", "outra"},
       {"outra", "save", "--range", "5", "--timeout1", "60", "--value1", "12", "--value2", "4"},
       {"--module", "outra", "--ranges", "5,5"},
       {0xC2, 0xC4}},  // the ranges and watchdog 2 are equal already
      {{"--module", "outra", "--ranges", "3,6"}, {}, {"--module", "outra"}, {0xC0}},
  };
  for (const TCase& c : cases) {
    const std::string module = c.from[1];
    SCOPED_TRACE(module);
    const TSim from(c.from), to(c.to);
    if (!c.setUp.empty()) {
      ASSERT_EQ(from.Run(c.setUp).Status, 0);
    }
    const TRun saved = from.Run({"--json", module, "load"});
    ASSERT_EQ(saved.Status, 0) << saved;
    const std::string profile = File("p.json", saved.Out);
    const std::vector<int> loads = module == "ingra" ? std::vector<int>{0xF3, 0x1B} : std::vector<int>{0xF3, 0xC1, 0xC3, 0xC5};

    TRun r = to.Run({"--log", module, "apply", "--dry-run", profile});
    EXPECT_EQ(r.Status, 3) << r;
    EXPECT_EQ(Written(r.Err), loads) << r;
    EXPECT_EQ(to.Run({module, "diff", profile}).Status, 3);

    r = to.Run({"--log", "--json", module, "apply", profile});
    EXPECT_EQ(r.Status, 0) << r;
    std::vector<int> expected = loads;
    expected.insert(expected.end(), c.writes.begin(), c.writes.end());
    expected.insert(expected.end(), loads.begin() + 1, loads.end());  // the read-back
    EXPECT_EQ(Written(r.Err), expected) << r;
    const json j = json::parse(r.Out);
    EXPECT_EQ(j["changed"], true);
    EXPECT_EQ(j["verified"], true);
    EXPECT_FALSE(j["changes"].empty());

    r = to.Run({module, "diff", profile});
    EXPECT_EQ(r.Status, 0) << r;
    r = to.Run({"--log", "--json", module, "apply", profile});
    EXPECT_EQ(r.Status, 0) << r;
    EXPECT_EQ(Written(r.Err), loads) << "a second apply writes nothing";
    EXPECT_EQ(json::parse(r.Out)["changed"], false);
    EXPECT_EQ(json::parse(to.Run({"--json", module, "load"}).Out), json::parse(saved.Out));
  }
}

TEST_F(Commissioning, ABadProfileIsAUsageErrorThatNamesTheFieldAndSendsNothing) {
  const TSim ingra({"--module", "ingra"}), outra({"--module", "outra"});
  const std::string watchdogs = R"(,"watchdogs":[{"enabled":true,"timeout":60,"value":12,"raw":2048},{"timeout":0,"raw":0}]})";
  const struct {
    const TSim& sim;
    std::string text, field;
  } cases[] = {
      {ingra, "", "cannot be read"},
      {ingra, "{\"module\": \"ingra\", ", "not JSON"},
      {ingra, R"({"codes":[1,1,1,1]})", "module"},
      {ingra, R"({"module":"outra","codes":[1,1]})", "module"},
      {ingra, R"({"module":"ingra","codes":[1,3,1,1]})", "codes[1]"},
      {ingra, R"({"module":"ingra","codes":[0,1,1,1]})", "codes"},
      {ingra, R"({"module":"ingra","codes":[1,1,1,1],"range":"0 - 20 mA"})", "range"},
      {outra, R"({"module":"outra","codes":[5,8])" + watchdogs, "codes[1]"},
      {outra, R"({"module":"outra","codes":[5,5],"watchdogs":[{"timeout":86401,"raw":0},{"timeout":0,"raw":0}]})", "watchdogs[0].timeout"},
      {outra, R"({"module":"outra","codes":[5,5],"watchdogs":[{"timeout":0,"raw":0},{"timeout":0,"value":20.5}]})", "watchdogs[1].value"},
      {outra, R"({"module":"outra","codes":[5,5],"watchdogs":[{"timeout":0,"value":12,"raw":0},{"timeout":0,"raw":0}]})", "watchdogs[0].value"},
      {outra, R"({"module":"outra","codes":[5,5],"watchdogs":[{"enabled":false,"timeout":5,"raw":0},{"timeout":0,"raw":0}]})", "watchdogs[0].enabled"},
      {outra, R"({"module":"outra","codes":[5,5],"watchdogs":[{"timeout":0,"raw":4096},{"timeout":0,"raw":0}]})", "watchdogs[0].raw"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string module = &c.sim == &ingra ? "ingra" : "outra";
    const std::string path = c.text.empty() ? dir_.Path() + "/missing.json" : File("bad.json", c.text);
    for (const char* action : {"apply", "diff"}) {
      const TRun r = c.sim.Run({"--log", module, action, path});
      EXPECT_EQ(r.Status, 2) << r;
      EXPECT_NE(r.Err.find(c.field), std::string::npos) << r;
      EXPECT_EQ(Written(r.Err), std::vector<int>{}) << r;
    }
  }
  // A voltage profile is never written into a current module.
  const TRun r = ingra.Run({"--log", "ingra", "apply", File("v.json", R"({"module":"ingra","range":"0 - 10 V"})")});
  EXPECT_EQ(r.Status, 2) << r;
  EXPECT_EQ(Written(r.Err), (std::vector<int>{0xF3, 0x1B})) << r;
}

// ---- batch -------------------------------------------------------------------------

TEST_F(Commissioning, ABatchRunsEveryLineAndReportsTheOneThatDoesNotAnswer) {
  const TSim a({"--module", "outra"}), b({"--module", "ingra", "--codes", "2,2,2,2"}), silent({"--module", "ingra", "--silent"});
  const json inventory = {
      {{"name", "a-apply"}, {"connection", a.connection}, {"module", "outra"}, {"action", "apply"},
       {"profile", {{"module", "outra"}, {"range", "0 - 24 mA"}, {"watchdogs", {{{"timeout", 5}, {"value", 12}}, {{"timeout", 0}, {"raw", 0}}}}}}},
      {{"name", "b-diff"}, {"connection", b.connection}, {"module", "ingra"}, {"action", "diff"}, {"profile", "b.json"}},
      {{"name", "mute"}, {"connection", silent.connection}, {"module", "ingra"}, {"action", "identify"}},
      {{"name", "a-load"}, {"connection", a.connection}, {"module", "outra"}, {"action", "load"}},
  };
  File("b.json", R"({"module":"ingra","codes":[1,1,1,1]})");
  const std::string path = File("inventory.json", inventory.dump());
  TRun r = RunCli({"--timeout", "300", "batch", "--json", "--jobs", "2", path});
  EXPECT_EQ(r.Status, 1) << r;
  json j = json::parse(r.Out);
  ASSERT_EQ(j["results"].size(), 4u) << j;
  const json& results = j["results"];
  EXPECT_EQ(results[0]["outcome"], "changed") << j;
  EXPECT_EQ(results[0]["verified"], true) << j;
  EXPECT_EQ(results[1]["outcome"], "differs") << j;
  EXPECT_EQ(results[1]["differences"].size(), 4u) << j;
  EXPECT_EQ(results[2]["outcome"], "failed") << j;
  EXPECT_EQ(results[3]["profile"]["codes"], json({7, 7})) << "entries of one line run in inventory order";
  EXPECT_EQ(results[3]["profile"]["watchdogs"][0]["timeout"], 5) << j;

  // Without the silent line none failed, but a diff differed.
  r = RunCli({"batch", File("two.json", json({inventory[1], inventory[3]}).dump())});
  EXPECT_EQ(r.Status, 3) << r;
  EXPECT_NE(r.Out.find("b-diff  diff  differs"), std::string::npos) << r;
  EXPECT_NE(r.Out.find("input 1 range: 0 - 20 mA -> 4 - 20 mA"), std::string::npos) << r;

  // A bad entry stops the whole inventory before anything is sent.
  json bad = inventory;
  bad[3]["address"] = 254;
  r = RunCli({"--log", "batch", File("bad.json", bad.dump())});
  EXPECT_EQ(r.Status, 2) << r;
  EXPECT_NE(r.Err.find("entry 4 (a-load): address"), std::string::npos) << r;
  EXPECT_EQ(Written(r.Err), std::vector<int>{}) << r;
}

TEST_F(Commissioning, TwoModulesOnOneSharedPtyLineRunOneAfterTheOtherOnTheLineOpenedOnce) {
  korvan::test::TPortDir ports;  // a second open of the pseudo-terminal would be refused as "in use"
  const TSimProcess bus({"--module", "ingra", "--address", "0x31", "--module", "outra", "--address", "0x32",
                         "--link", ports.Link(7)});
  ASSERT_TRUE(bus.Started());
  const std::string line = "provider=SERIAL_PORT;comport=7;baudrate=9600";
  const json inventory = {
      {{"name", "in"}, {"connection", line}, {"address", "0x31"}, {"module", "ingra"}, {"action", "load"}},
      {{"name", "out"}, {"connection", line}, {"address", "0x32"}, {"module", "outra"}, {"action", "apply"},
       {"profile", {{"module", "outra"}, {"range", "0 - 24 mA"}, {"watchdogs", {{{"timeout", 0}, {"raw", 0}}, {{"timeout", 0}, {"raw", 0}}}}}}}};
  const TRun r = RunCli({"batch", "--json", File("bus.json", inventory.dump())});
  EXPECT_EQ(r.Status, 0) << r;
  const json j = json::parse(r.Out);
  ASSERT_EQ(j["results"].size(), 2u) << j;
  EXPECT_EQ(j["results"][0]["outcome"], "ok") << j;
  EXPECT_EQ(j["results"][1]["outcome"], "changed") << j;
  EXPECT_EQ(j["results"][1]["verified"], true) << j;
}

TEST_F(Commissioning, SigintDuringABatchLetsTheRunningEntryFinishAndRunsNothingMore) {
  const TSim a({"--module", "outra", "--delay", "100"}), b({"--module", "outra", "--delay", "100"});
  json inventory = json::array();
  for (const TSim* sim : {&a, &b})
    for (const char* name : {"1", "2"})
      inventory.push_back({{"name", sim->connection + name}, {"connection", sim->connection}, {"module", "outra"}, {"action", "load"}});
  bool sent = false;
  const TRun r = RunCli({"--log", "batch", "--json", "--jobs", "1", File("inventory.json", inventory.dump())},
                        [&](pid_t pid, const TRun& so) {
                          if (!sent && so.Err.find(" => ") != std::string::npos) sent = kill(pid, SIGINT) == 0;
                        });
  ASSERT_TRUE(sent);
  EXPECT_EQ(r.Status, 130) << r;
  const json j = json::parse(r.Out);
  ASSERT_EQ(j["results"].size(), 4u) << j;
  EXPECT_EQ(j["results"][0]["outcome"], "ok") << j;
  for (size_t i = 1; i < 4; ++i) EXPECT_EQ(j["results"][i]["outcome"], "not run") << j;
}

// Lines run in parallel: each logged frame names the line it is on.
TEST_F(Commissioning, BatchLogSaysWhichLineEachFrameIsOn) {
  const TSim a({"--module", "ingra"}), b({"--module", "outra"});
  const json inventory = {
      {{"name", "a"}, {"connection", a.connection}, {"module", "ingra"}, {"action", "identify"}},
      {{"name", "b"}, {"connection", b.connection}, {"module", "outra"}, {"action", "identify"}}};
  const TRun r = RunCli({"--log", "batch", File("inventory.json", inventory.dump())});
  EXPECT_EQ(r.Status, 0) << r;
  std::istringstream in(r.Err);
  std::set<std::string> lines;  // each frame on exactly one of them
  for (std::string line; std::getline(in, line);)
    for (const std::string& c : {a.connection, b.connection})
      if (line.find("] " + c + " => ") != std::string::npos || line.find("] " + c + " <= ") != std::string::npos)
        lines.insert(c);
  EXPECT_EQ(lines.size(), 2u) << r;
  EXPECT_EQ(Written(r.Err).size(), 0u) << "no frame without its line: " << r;
}

// ---- The output loop test ----------------------------------------------------------

TEST_F(Commissioning, TheOutputLoopTestSetsReadsBackAndShowsTheWatchdogTakingOver) {
  const TSim sim({"--module", "outra", "--ranges", "5,1"});
  const struct {
    std::vector<std::string> args;
    int status;
    std::vector<int> writes;
    std::string out;
  } cases[] = {
      {{"--value1", "12", "--value2", "2,5"}, 0, {0xF3, 0xC1, 0xC3, 0xC5, 0x40, 0x41},
       "output 1: 12.00 mA (raw 2048)\noutput 2: 2.50 V (raw 1024)\n"},
      {{"--value2", "0"}, 0, {0xF3, 0xC1, 0xC3, 0xC5, 0x40, 0x41}, "output 1: 12.00 mA (raw 2048)\noutput 2: 0.00 V (raw 0)\n"},
      {{}, 0, {0xF3, 0xC1, 0xC3, 0xC5, 0x41}, "output 1: 12.00 mA (raw 2048)\n"},
      // Outside its output's range: refused once the ranges are known.
      {{"--value1", "3.99"}, 2, {0xF3, 0xC1}, ""},
      {{"--value2", "10.01"}, 2, {0xF3, 0xC1}, ""},
      // Outside every range, or no number: refused before anything is sent.
      {{"--value1", "99"}, 2, {}, ""},
      {{"--value1", "x"}, 2, {}, ""},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"--log", "outra", "output"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const TRun r = sim.Run(args);
    EXPECT_EQ(r.Status, c.status) << r;
    EXPECT_EQ(Written(r.Err), c.writes) << r;
    EXPECT_NE(r.Out.find(c.out), std::string::npos) << r;
  }
  // Watchdog 2 after 1 s at 7.5 V (in output 2's own range 0 - 10 V).
  ASSERT_EQ(sim.Run({"outra", "save", "--range", "1", "--timeout2", "1", "--value2", "7.5"}).Status, 0);
  TRun r = sim.Run({"outra", "output", "--value2", "1"});
  EXPECT_NE(r.Out.find("output 2: 1.00 V (raw 410)\nwatchdog 2: after 1 s without a command the module returns output 2 to 7.50 V"),
            std::string::npos) << r;
  // A day passes on the module's clock (korvan-sim's SIGUSR1), not on ours.
  ASSERT_EQ(kill(sim.process->Pid(), SIGUSR1), 0);
  r = sim.Run({"--json", "outra", "output"});
  const json j = json::parse(r.Out);
  EXPECT_EQ(j["outputs"][1]["raw"], 3071) << j;  // the watchdog took over
  EXPECT_EQ(j["outputs"][1]["value"], 7.5) << j;
}

#endif  // DUOMAT_CLI_PATH
