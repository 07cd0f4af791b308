// duomat-cli against lines and modules that do not work.
#ifdef DUOMAT_CLI_PATH
#include <gtest/gtest.h>

#include "tools/TCliSession.h"

using namespace clitest;

TEST(CliFailures, ASilentModuleFailsThePresenceCheckAndNothingMoreIsSent) {
  TSimulatedModule ingra(TLine::Tcp, {"--module", "ingra", "--silent"});
  TSimulatedModule outra(TLine::SerialPort, {"--module", "outra", "--silent"});
  ASSERT_TRUE(ingra.Started());
  ASSERT_TRUE(outra.Started());

  TRun r = ingra.Run({"--timeout", "200", "--log", "ingra", "load"});
  EXPECT_EQ(r.Status, 1) << r;
  EXPECT_EQ(r.Out, "");
  TTraffic t = TrafficOf(r.Err);
  EXPECT_EQ(t.Other, (std::vector<std::string>{IngraNotAnswering, NoAnswerHint})) << r;
  EXPECT_EQ(t.Sent, (std::vector<std::string>{Request(1, 0xF3)}));
  EXPECT_EQ(t.Received, "");

  ExpectFailureJson(ingra.Run({"--timeout", "200", "--json", "ingra", "save", "1"}), 1,
                    IngraNotAnswering, {"hint"});

  r = outra.Run({"--timeout", "200", "outra", "identify"});
  EXPECT_EQ(r.Status, 1) << r;
  EXPECT_EQ(r.Out, "");
  EXPECT_EQ(r.Err, std::string(OutraNotAnswering) + "\n" + NoAnswerHint + "\n");
  ExpectFailureJson(outra.Run({"--timeout", "200", "--json", "outra", "load"}), 1,
                    OutraNotAnswering, {"hint"});
}

// What real lines send around the answers must not cost a request.
TEST(CliFailures, FalseStartsShortFramesAndInvalidFramesAroundTheAnswersStillLoad) {
  std::string shortFrame = Bytes({0x2A, 0x61, 0x00, 0x04, 0x31, 0x01});
  shortFrame += static_cast<char>(korvan::PacketChecksum(shortFrame));
  shortFrame += '\x0D';
  const std::vector<std::vector<std::string>> faults = {
      {"--noise", "2A6100"},
      {"--noise", Hex(shortFrame)},
      {"--suffix", Hex(korvan::BuildPacket(0xFF, 0x01, 0, ""))},
  };
  int i = 0;
  for (const auto& fault : faults) {
    for (const char* module : {"ingra", "outra"}) {
      SCOPED_TRACE(fault[0] + " " + fault[1] + " " + module);
      TSimulatedModule sim(++i % 2 ? TLine::Tcp : TLine::SerialPort, Join({"--module", module}, fault));
      ASSERT_TRUE(sim.Started());
      const TRun r = sim.Run({module, "load"});
      EXPECT_EQ(r.Status, 0) << r;
    }
  }
}

TEST(CliFailures, ALineThatGoesAfterTheIdentificationFailsTheNextRequestAtOnce) {
  for (TLine line : {TLine::Tcp, TLine::SerialPort}) {
    SCOPED_TRACE(line == TLine::Tcp ? "TCP" : "serial port");
    TSimulatedModule sim(line, {"--module", "ingra", "--close-after", "1"});
    ASSERT_TRUE(sim.Started());
    const auto start = std::chrono::steady_clock::now();
    const TRun r = sim.Run({"--timeout", "20000", "ingra", "load"});
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(r.Status, 1) << r;
    EXPECT_LT(elapsed, std::chrono::milliseconds(10000)) << r;  // not the 20 s time-out
  }
}

TEST(CliFailures, AModuleAtAnotherAddressIsReachedOnlyWithThatAddress) {
  TSimulatedModule module(TLine::Tcp, {"--module", "ingra", "--address", "0x40"});
  ASSERT_TRUE(module.Started());
  TRun r = module.Run({"--timeout", "200", "ingra", "identify"});
  EXPECT_EQ(r.Status, 1) << r;
  EXPECT_EQ(r.Err, std::string(IngraNotAnswering) + "\n" + NoAnswerHint + "\n");
  for (const char* address : {"0x40", "64", "0X40", "064"}) {  // decimal or 0x, never octal
    SCOPED_TRACE(address);
    r = module.Run({"--timeout", "200", "--address", address, "ingra", "identify"});
    EXPECT_EQ(r.Status, 0) << r;
    EXPECT_EQ(r.Out, "Ingra;v1.0;simulated\nidentification=Ingra;v1.0;simulated\n");
  }
}

TEST(CliFailures, AnUnopenableLineGivesTheOpenMessage) {
  TPortDir dir;  // empty: COM200 maps to nothing
  const std::string closedTcp =
      "provider=TCP_CLIENT;host=127.0.0.1;port=" + std::to_string(FreeTcpPort());
  for (const std::string& connection :
       {std::string("provider=SERIAL_PORT;comport=200"), closedTcp}) {
    SCOPED_TRACE(connection);
    TRun r = RunCli({"-c", connection, "--log", "ingra", "load"});
    EXPECT_EQ(r.Status, 1) << r;
    EXPECT_EQ(r.Out, "");
    // The specified sentence, then why where that is known; and not one frame.
    const bool serial = connection.find("SERIAL_PORT") != std::string::npos;
    const std::string reason = serial ? "COM200 stands for no device"
                                      : connection.substr(connection.find("127.0.0.1")).replace(9, 6, ":") +
                                            " refused the connection (nothing listens on that port)";
    EXPECT_EQ(r.Err, std::string(OpenFailed) + "\nreason=" + reason + "\n") << r;
    r = RunCli({"-c", connection, "--json", "outra", "save", "--range", "1"});
    EXPECT_EQ(r.Status, 1) << r;
    const json j = JsonOf(r);
    EXPECT_EQ(j.value("message", ""), OpenFailed) << j;
    EXPECT_EQ(j.value("reason", ""), reason) << j;
  }
}

#if !defined(DUOMAT_ASAN) && !defined(DUOMAT_TSAN)  // they need the address space
TEST(CliFailures, AThreadTheSystemWillNotGiveEndsWithAMessageAndStatusOne) {
  TDeviceTree machine;  // nothing to scan; room for the program, none for a thread with such a stack
  const TRun r = RunProgram({"/usr/bin/prlimit", "--as=209715200", "--stack=536870912", DUOMAT_CLI_PATH, "--lang", "en", "ports"},
                            std::chrono::seconds(30));
  EXPECT_TRUE(r.Status == 1 && r.Err.find("cannot start: the system gave no thread") != std::string::npos) << r;
}
#endif

#endif  // DUOMAT_CLI_PATH
