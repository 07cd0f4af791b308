// duomat-cli under SIGINT, SIGTERM and SIGHUP: a write finishes, a read stops at once.
#ifdef DUOMAT_CLI_PATH
#include <gtest/gtest.h>

#include "tools/TCliSession.h"

using namespace clitest;

TEST(CliInterrupt, ASaveRunsToItsEndAndExitsWith128PlusTheSignalUnlessSigintComesTwice) {
  TSimulatedModule module(TLine::Tcp, {"--module", "outra", "--delay", "50"});
  ASSERT_TRUE(module.Started());
  const std::vector<std::string> save = {"--log", "outra", "save", "--range", "5", "--timeout1", "60",
                                         "--value1", "12", "--timeout2", "30", "--value2", "4"};
  const auto signalled = [&](int signal, int times) {
    return module.Run(save, [&, sent = 0](pid_t pid, const TRun& soFar) mutable {
      const bool due = sent ? soFar.Err.find("interrupted:") != std::string::npos : TrafficOf(soFar.Err).Sent.size() > 4;
      if (sent < times && due) sent += kill(pid, signal) == 0;
    });
  };
  const std::vector<int> all = TrafficOf(module.Run(save).Err).Instructions();
  ASSERT_GT(all.size(), 6u);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    const TRun r = signalled(signal, 1);
    EXPECT_EQ(r.Status, 128 + signal) << r;
    EXPECT_EQ(TrafficOf(r.Err).Instructions(), all) << r;
    EXPECT_NE(r.Out.find(OutraSaved), std::string::npos) << r;
  }
  const TRun r = signalled(SIGINT, 2);
  EXPECT_EQ(r.Status, 128 + SIGINT) << r;
  EXPECT_NE(r.Err.find("the Outra module may be partly written"), std::string::npos) << r;
  EXPECT_EQ(r.Out.find(OutraSaved), std::string::npos) << r;
}

#endif  // DUOMAT_CLI_PATH
