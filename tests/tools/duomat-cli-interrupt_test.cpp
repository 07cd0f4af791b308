// duomat-cli under SIGINT, SIGTERM and SIGHUP: a write finishes, a read stops at once.
#ifdef DUOMAT_CLI_PATH
#include <gtest/gtest.h>

#include <functional>

#include "tools/TCliSession.h"

using namespace clitest;

namespace {
using TClock = std::chrono::steady_clock;

// How long the program took to print its result after the signal, with the run.
struct TStopped {
  TRun Run;
  std::chrono::milliseconds AfterSignal{-1};
};

// Runs the command on the line, sends `signal` once the log shows a frame
// written (the request in flight) and times it until `printed` holds. Timed to the result, not to the exit: a sanitizer's exit
// sleeps a second of its own.
TStopped SignalledInFlight(const TSimulatedModule& module, const std::vector<std::string>& command, int signal,
                           const std::function<bool(const TRun&)>& printed) {
  TClock::time_point sentAt{}, printedAt{};
  TStopped s;
  s.Run = module.Run(command, [&](pid_t pid, const TRun& soFar) {
    if (sentAt == TClock::time_point{}) {
      if (soFar.Err.find("] => ") != std::string::npos && kill(pid, signal) == 0) sentAt = TClock::now();
    } else if (printedAt == TClock::time_point{} && printed(soFar)) {
      printedAt = TClock::now();
    }
  });
  if (sentAt != TClock::time_point{} && printedAt != TClock::time_point{})
    s.AfterSignal = std::chrono::duration_cast<std::chrono::milliseconds>(printedAt - sentAt);
  return s;
}

// Slack for a loaded machine under a sanitizer, far below the 3 s time-out.
#if defined(DUOMAT_ASAN) || defined(DUOMAT_TSAN)
constexpr std::chrono::milliseconds kPromptly{500};
#else
constexpr std::chrono::milliseconds kPromptly{100};
#endif

bool Printed(const TRun& r) { return !r.Out.empty(); }
bool SaidNoAnswer(const TRun& r) { return r.Err.find("No module answers") != std::string::npos; }
}  // namespace

// A command that only reads has nothing to finish: the first signal ends the
// request in flight, long before its 3 s time-out, and what was found is printed.
TEST(CliInterrupt, AReadingCommandStopsWithinAHundredMillisecondsOfTheFirstSignal) {
  TSimulatedModule module(TLine::Tcp, {"--module", "ingra", "--address", "0x20"});
  ASSERT_TRUE(module.Started());
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    // 0x21 is silent for 3 s while the signal comes.
    TStopped s = SignalledInFlight(
        module, {"--log", "--json", "scan", "--from", "0x21", "--to", "0x22", "--scan-timeout", "3000"}, signal,
        &Printed);
    ASSERT_GE(s.AfterSignal.count(), 0) << s.Run;
    EXPECT_LT(s.AfterSignal, kPromptly) << s.Run;
    EXPECT_EQ(s.Run.Status, 128 + signal) << s.Run;
    const json j = JsonOf(s.Run);
    EXPECT_EQ(j.value("interrupted", false), true) << j;
    EXPECT_EQ(j.value("scanned", -1), 1) << j;

    s = SignalledInFlight(module, {"--log", "--timeout", "3000", "--address", "0x21", "module", "identify"}, signal,
                          &SaidNoAnswer);
    ASSERT_GE(s.AfterSignal.count(), 0) << s.Run;
    EXPECT_LT(s.AfterSignal, kPromptly) << s.Run;
    EXPECT_EQ(s.Run.Status, 128 + signal) << s.Run;
    EXPECT_EQ(TrafficOf(s.Run.Err).Sent.size(), 1u) << s.Run;
  }
}

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
