// duomat-cli outra against korvan-sim: values converted at the range limits.
#ifdef DUOMAT_CLI_PATH
#include <gtest/gtest.h>

#include "tools/TCliSession.h"

using namespace clitest;

TEST(CliOutra, ConvertsValuesAtTheRangeLimitsBothWays) {
  TSimulatedModule module(TLine::Tcp, {"--module", "outra", "--ranges", "5,3"});
  ASSERT_TRUE(module.Started());

  // Output 2's own range is not shown; both values follow output 1's.
  TRun r = module.Run({"--json", "outra", "load"});
  EXPECT_EQ(r.Status, 0) << r;
  ExpectOutraJson(JsonOf(r), OutraLoaded, {5, 3}, "4 - 20 mA",
                  {{false, 0, 4.0, 0}, {false, 0, 4.0, 0}});

  // Saving without --range gives both outputs output 1's range.
  r = module.Run({"--json", "outra", "save", "--value1", "20", "--value2", "4"});
  EXPECT_EQ(r.Status, 0) << r;
  ExpectOutraJson(JsonOf(r), OutraSaved, {5, 5}, "4 - 20 mA",
                  {{false, 0, 20.0, 4095}, {false, 0, 4.0, 0}});
  r = module.Run({"--json", "outra", "load"});
  ExpectOutraJson(JsonOf(r), OutraLoaded, {5, 5}, "4 - 20 mA",
                  {{false, 0, 20.0, 4095}, {false, 0, 4.0, 0}});

  r = module.Run(
      {"--json", "outra", "save", "--value1", "12", "--value2", "4,5"});  // a decimal comma
  EXPECT_EQ(r.Status, 0) << r;
  ExpectOutraJson(JsonOf(r), OutraSaved, {5, 5}, "4 - 20 mA",
                  {{false, 0, 12.0, 2048}, {false, 0, 4.5, 128}});

  r = module.Run(
      {"--json", "outra", "save", "--range", "-10 - 10 V", "--value1", "0", "--value2", "-10"});
  EXPECT_EQ(r.Status, 0) << r;
  ExpectOutraJson(JsonOf(r), OutraSaved, {3, 3}, "-10 - 10 V",
                  {{false, 0, 0.0, 2048}, {false, 0, -10.0, 0}});
  r = module.Run({"outra", "load"});
  EXPECT_EQ(r.Status, 0) << r;
  EXPECT_NE(r.Out.find("\nvalue1=0.00\nraw1=2048\n"), std::string::npos) << r;
  EXPECT_NE(r.Out.find("\nvalue2=-10.00\nraw2=0\n"), std::string::npos) << r;

  // A kept value follows the new range's limits, as the window's field would.
  r = module.Run({"--json", "outra", "save", "--range", "0 - 24 mA"});
  EXPECT_EQ(r.Status, 0) << r;
  ExpectOutraJson(JsonOf(r), OutraSaved, {7, 7}, "0 - 24 mA",
                  {{false, 0, 0.0, 0}, {false, 0, 0.0, 0}});
  r = module.Run({"--json", "outra", "save", "--value1", "24", "--value2", "12"});
  ExpectOutraJson(JsonOf(r), OutraSaved, {7, 7}, "0 - 24 mA",
                  {{false, 0, 24.0, 4095}, {false, 0, 12.0, 2048}});
}

#endif  // DUOMAT_CLI_PATH
