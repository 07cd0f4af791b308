// duomat-cli ingra against korvan-sim: the kind of module and codes the list does not know.
#ifdef DUOMAT_CLI_PATH
#include <gtest/gtest.h>

#include "tools/TCliSession.h"

using namespace clitest;

TEST(CliIngra, AVoltageModuleRefusesACurrentRangeWithoutWriting) {
  TSimulatedModule module(TLine::Tcp, {"--module", "ingra", "--kind", "voltage"});
  ASSERT_TRUE(module.Started());
  for (const char* range : {"4 - 20 mA", "0 - 20 mA", "1"}) {
    SCOPED_TRACE(range);
    const TRun r = module.Run({"--log", "ingra", "save", range});
    EXPECT_EQ(r.Status, 1) << r;
    EXPECT_EQ(r.Out, "");
    const TTraffic t = TrafficOf(r.Err);
    // Why: the module's kind, and what it offers instead.
    const std::string wanted = std::string(range) == "1" ? "4 - 20 mA" : range;
    EXPECT_EQ(t.Other, (std::vector<std::string>{IngraSaveFailed,
                                                 "reason=this is a voltage module: it offers only 0 - 10 V, not " +
                                                     wanted}))
        << r;
    for (int code : t.Instructions()) {
      EXPECT_NE(code, 0x1A) << r;
      EXPECT_NE(code, 0xE4) << r;
    }
  }
  ExpectFailureJson(module.Run({"--json", "ingra", "save", "4 - 20 mA"}), 1, IngraSaveFailed, {"reason"});

  // The voltage range itself is offered and saved.
  TRun r = module.Run({"--log", "ingra", "save", "0 - 10 V"});
  EXPECT_EQ(r.Status, 0) << r;
  const TTraffic t = TrafficOf(r.Err);
  ASSERT_FALSE(t.Sent.empty());
  EXPECT_EQ(t.Sent.back(),
            Request(5, 0x1A, Bytes({0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04, 0x00})));
  r = module.Run({"--json", "ingra", "load"});
  ExpectIngraJson(JsonOf(r), IngraLoaded, {0, 0, 0, 0}, "0 - 10 V");
}

TEST(CliIngra, ACurrentModuleRefusesTheVoltageRange) {
  TSimulatedModule module(TLine::Tcp, {"--module", "ingra", "--codes", "2,2,2,2"});
  ASSERT_TRUE(module.Started());
  const TRun r = module.Run({"--log", "ingra", "save", "0"});
  EXPECT_EQ(r.Status, 1) << r;
  const TTraffic t = TrafficOf(r.Err);
  EXPECT_EQ(t.Other, (std::vector<std::string>{
                         IngraSaveFailed,
                         "reason=this is a current module: it offers only 4 - 20 mA, 0 - 20 mA, not 0 - 10 V"}))
      << r;
  EXPECT_EQ(t.Instructions(), (std::vector<int>{0xF3, 0x1B}));
  ExpectIngraJson(JsonOf(module.Run({"--json", "ingra", "load"})), IngraLoaded, {2, 2, 2, 2},
                  "0 - 20 mA");
}

TEST(CliIngra, AnUnknownCodeLoadsWithoutARangeAndCannotBeSaved) {
  TSimulatedModule module(TLine::Tcp, {"--module", "ingra", "--codes", "3,1,1,1"});
  ASSERT_TRUE(module.Started());
  TRun r = module.Run({"--json", "ingra", "load"});
  EXPECT_EQ(r.Status, 0) << r;
  ExpectIngraJson(JsonOf(r), IngraLoaded, {3, 1, 1, 1}, nullptr);

  r = module.Run({"ingra", "load"});
  EXPECT_EQ(r.Status, 0) << r;
  EXPECT_EQ(r.Out, std::string(IngraLoaded) + "\ncodes=3 1 1 1\nrange=\n");

  r = module.Run({"--log", "ingra", "save", "4 - 20 mA"});
  EXPECT_EQ(r.Status, 1) << r;
  const TTraffic t = TrafficOf(r.Err);
  EXPECT_EQ(t.Other, (std::vector<std::string>{IngraSaveFailed,
                                               "reason=the module reports a range code this program does not know"}))
      << r;
  EXPECT_EQ(t.Instructions(), (std::vector<int>{0xF3, 0x1B}));
}

TEST(CliIngra, ARefusedWriteIsTriedOnceMoreThenReported) {
  // A current module that reports voltage codes offers "0 - 10 V", and then
  // refuses to take it.
  TSimulatedModule module(TLine::Tcp, {"--module", "ingra", "--codes", "0,0,0,0"});
  ASSERT_TRUE(module.Started());
  const TRun r = module.Run({"--log", "ingra", "save", "0 - 10 V"});
  EXPECT_EQ(r.Status, 1) << r;
  const TTraffic t = TrafficOf(r.Err);
  EXPECT_EQ(t.Other, (std::vector<std::string>{IngraSaveFailed})) << r;
  EXPECT_EQ(t.Instructions(), (std::vector<int>{0xF3, 0x1B, 0x1B, 0xE4, 0x1A, 0xE4, 0x1A}));
}

#endif  // DUOMAT_CLI_PATH
