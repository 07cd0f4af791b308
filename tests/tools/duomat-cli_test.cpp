// duomat-cli run as a process against korvan-sim, as a script would run it.
#ifdef DUOMAT_CLI_PATH
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "protocol/uKorvan97.h"
#include "support/TComPorts.h"
#include "support/TDeviceTree.h"
#include "support/TRunProgram.h"
#include "support/THex.h"
#include "support/TSimProcess.h"

using korvan::test::Bytes;
using korvan::test::BytesOfHex;
using korvan::test::Hex;
using korvan::test::RunProgram;
using korvan::test::TRun;
using korvan::test::TDeviceTree;
using korvan::test::TPortDir;
using korvan::test::TSimProcess;
using nlohmann::json;

namespace {

constexpr const char* IngraLoaded = "Nastavení bylo úspěšně nahráno z modulu Ingra.";
constexpr const char* IngraSaved = "Nastavení bylo úspěšně uloženo do modulu Ingra.";
constexpr const char* IngraSaveFailed = "Nastavení se nepodařilo uložit do modulu Ingra!";
constexpr const char* OutraLoaded = "Nastavení bylo úspěšně nahráno z modulu Outra.";
constexpr const char* OutraSaved = "Nastavení bylo úspěšně uloženo do modulu Outra.";
constexpr const char* OpenFailed = "Nepodařilo se otevřít spojení!";

// ---- Running the program ----------------------------------------------------

// Runs duomat-cli to its end; one that hangs is killed after a generous bound.
TRun RunCli(const std::vector<std::string>& options, const korvan::test::TRunWatch& watch = {}) {
  std::vector<std::string> args = {DUOMAT_CLI_PATH};
  args.insert(args.end(), options.begin(), options.end());
  return RunProgram(std::move(args), std::chrono::seconds(30), watch);
}

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Exactly one JSON object on one line.
json JsonOf(const TRun& run) {
  const size_t newline = run.Out.find('\n');
  EXPECT_EQ(newline, run.Out.size() - 1) << run;
  json j = json::parse(run.Out, nullptr, false);
  EXPECT_TRUE(j.is_object()) << run;
  return j.is_object() ? j : json::object();
}

std::set<std::string> Keys(const json& j) {
  std::set<std::string> keys;
  for (const auto& [key, value] : j.items()) keys.insert(key);
  return keys;
}

// ---- The log of --log -------------------------------------------------------

// Standard error split into frames written, bytes read, and everything else.
struct TTraffic {
  std::vector<std::string> Sent;  // hex, one frame per write
  std::string Received;           // the bytes of every read, in order
  std::vector<std::string> Other;

  // The instruction codes of the frames written.
  std::vector<int> Instructions() const {
    std::vector<int> codes;
    for (const std::string& hex : Sent) {
      const std::string frame = BytesOfHex(hex);
      codes.push_back(frame.size() > 6 ? static_cast<unsigned char>(frame[6]) : -1);
    }
    return codes;
  }
  // The answers read, cut into frames; empty when the bytes are not whole frames.
  std::vector<korvan::TKorvanFormat97> Answers() const {
    std::vector<korvan::TKorvanFormat97> frames;
    std::string rest = Received;
    while (!rest.empty()) {
      const std::string frame = korvan::ExtractPacket(rest, true);
      if (frame.empty() || korvan::CheckPacket(frame) != 0) return {};
      frames.push_back(korvan::ParsePacket(frame));
    }
    return frames;
  }
};

// "[yyyy-MM-dd hh:mm:ss] => 2A 61 …": the direction and the hex bytes.
// (No std::regex: g++ 12 warns inside it under the sanitizers.)
bool ParseLogLine(const std::string& text, std::string& direction, std::string& hex) {
  static const std::string stamp = "[0000-00-00 00:00:00] ";
  if (text.size() < stamp.size() + 5) return false;
  for (size_t i = 0; i < stamp.size(); ++i)
    if (stamp[i] == '0' ? !std::isdigit(static_cast<unsigned char>(text[i])) : text[i] != stamp[i])
      return false;
  direction = text.substr(stamp.size(), 2);
  if ((direction != "=>" && direction != "<=") || text[stamp.size() + 2] != ' ') return false;
  hex = text.substr(stamp.size() + 3);
  if (hex.size() % 3 != 2) return false;
  for (size_t i = 0; i < hex.size(); ++i) {
    const char c = hex[i];
    if (i % 3 == 2 ? c != ' ' : !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  }
  return true;
}

TTraffic TrafficOf(const std::string& err) {
  TTraffic t;
  std::istringstream in(err);
  std::string text, direction, hex;
  while (std::getline(in, text)) {
    if (!ParseLogLine(text, direction, hex))
      t.Other.push_back(text);
    else if (direction == "=>")
      t.Sent.push_back(hex);
    else
      t.Received += BytesOfHex(hex);
  }
  return t;
}

// The numbers a message names, in order ("from -10 to 10: 11" → -10, 10, 11).
std::vector<std::string> NumbersIn(const std::string& text) {
  std::vector<std::string> numbers;
  std::string current;
  for (size_t i = 0; i <= text.size(); ++i) {
    const char c = i < text.size() ? text[i] : ' ';
    const bool sign = c == '-' && current.empty() && i + 1 < text.size() &&
                      std::isdigit(static_cast<unsigned char>(text[i + 1]));
    if (std::isdigit(static_cast<unsigned char>(c)) || sign || (c == '.' && !current.empty())) {
      current += c;
    } else if (!current.empty()) {
      numbers.push_back(current);
      current.clear();
    }
  }
  return numbers;
}

bool Names(const std::string& text, const std::vector<std::string>& numbers) {
  const std::vector<std::string> found = NumbersIn(text);
  for (const std::string& n : numbers)
    if (std::find(found.begin(), found.end(), n) == found.end()) return false;
  return true;
}

std::string Request(uint8_t sig, uint8_t instruction, const std::string& data = {}) {
  return Hex(korvan::BuildPacket(0x31, sig, instruction, data));
}

// ---- Simulated modules ------------------------------------------------------

enum class TLine { Tcp, SerialPort, Ftdi, Hid };

void PrintTo(TLine line, std::ostream* os) {
  *os << (line == TLine::Tcp ? "TCP" : line == TLine::SerialPort ? "serial port" : line == TLine::Hid ? "HID" : "FTDI converter");
}

// A korvan-sim on loopback TCP, on a pseudo-terminal linked as COM7, or
// served as the FTDI converter FT123456, with the connection string that
// reaches it.
class TSimulatedModule {
 public:
  TSimulatedModule(TLine line, std::vector<std::string> options) {
    if (line == TLine::Tcp) {
      options.insert(options.end(), {"--tcp", "127.0.0.1:0"});
      sim_ = std::make_unique<TSimProcess>(options);
      connection_ = "provider=TCP_CLIENT;host=127.0.0.1;port=" + std::to_string(sim_->TcpPort());
    } else if (line == TLine::Hid) {
      hidDir_.emplace();
      options.insert(options.end(), {"--hid", hidDir_->Path()});
      sim_ = std::make_unique<TSimProcess>(options);
      connection_ = "provider=HID;vid=1240;pid=63";
    } else if (line == TLine::Ftdi) {
      ftdi_.emplace();
      options.insert(options.end(), {"--ftdi", ftdi_->Path(), "--serial", "FT123456"});
      sim_ = std::make_unique<TSimProcess>(options);
      connection_ = "provider=FTD_USB;serial_number=FT123456";
    } else {
      dir_.emplace();
      options.insert(options.end(), {"--link", dir_->Link(7)});
      sim_ = std::make_unique<TSimProcess>(options);
      connection_ = "provider=SERIAL_PORT;comport=7;baudrate=115200";
    }
  }
  bool Started() const { return sim_->Started(); }
  const std::string& Connection() const { return connection_; }
  // duomat-cli -c CONNECTION OPTIONS...
  TRun Run(const std::vector<std::string>& options, const korvan::test::TRunWatch& watch = {}) const {
    return RunCli(Join({"-c", connection_}, options), watch);
  }

 private:
  std::optional<TPortDir> dir_;  // outlives the simulator, which removes its link
  std::optional<TDeviceTree> hidDir_;
  std::optional<korvan::test::TDeviceTree> ftdi_;
  std::unique_ptr<TSimProcess> sim_;
  std::string connection_;
};

// A loopback port that nobody listens on: bound by the system, then freed.
int FreeTcpPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) == 0)
    port = ntohs(a.sin_port);
  close(fd);
  return port;
}

class CliOnALine : public ::testing::TestWithParam<TLine> {};

std::string LineName(const ::testing::TestParamInfo<TLine>& info) {
  return info.param == TLine::Tcp ? "Tcp" : info.param == TLine::SerialPort ? "SerialPort"
                                          : info.param == TLine::Hid      ? "Hid"
                                                                          : "Ftdi";
}

void ExpectIngraJson(const json& j, const char* message, const std::vector<int>& codes,
                     const json& range) {
  EXPECT_EQ(Keys(j), (std::set<std::string>{"ok", "message", "module", "codes", "range"})) << j;
  EXPECT_EQ(j.value("module", ""), "ingra") << j;
  EXPECT_EQ(j.value("ok", false), true) << j;
  EXPECT_EQ(j.value("message", ""), message) << j;
  EXPECT_EQ(j["codes"], json(codes)) << j;
  EXPECT_EQ(j["range"], range) << j;
}

struct TWatchDog {
  bool Enabled;
  int Timeout;
  double Value;
  int Raw;
};

void ExpectOutraJson(const json& j, const char* message, const std::vector<int>& codes,
                     const json& range, const TWatchDog (&w)[2]) {
  EXPECT_EQ(Keys(j), (std::set<std::string>{"ok", "message", "module", "codes", "range", "watchdogs"})) << j;
  EXPECT_EQ(j.value("module", ""), "outra") << j;
  EXPECT_EQ(j.value("ok", false), true) << j;
  EXPECT_EQ(j.value("message", ""), message) << j;
  EXPECT_EQ(j["codes"], json(codes)) << j;
  EXPECT_EQ(j["range"], range) << j;
  ASSERT_TRUE(j["watchdogs"].is_array() && j["watchdogs"].size() == 2) << j;
  for (size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(testing::Message() << "watchdog " << i + 1);
    const json& d = j["watchdogs"][i];
    EXPECT_EQ(Keys(d), (std::set<std::string>{"enabled", "timeout", "value", "raw"})) << d;
    EXPECT_TRUE(d["enabled"].is_boolean() && d["timeout"].is_number_integer() &&
                d["value"].is_number() && d["raw"].is_number_integer())
        << d;
    EXPECT_EQ(d.value("enabled", !w[i].Enabled), w[i].Enabled);
    EXPECT_EQ(d.value("timeout", -1), w[i].Timeout);
    EXPECT_DOUBLE_EQ(d.value("value", -1000.0), w[i].Value);
    EXPECT_EQ(d.value("raw", -1), w[i].Raw);
  }
}

void ExpectFailureJson(const TRun& run, int status, const std::string& message) {
  EXPECT_EQ(run.Status, status) << run;
  const json j = JsonOf(run);
  EXPECT_EQ(Keys(j), (std::set<std::string>{"ok", "message"})) << j;
  EXPECT_EQ(j.value("ok", true), false) << j;
  EXPECT_EQ(j.value("message", ""), message) << j;
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

// ---- The kind of module and codes the list does not know ----------------------

TEST(CliIngra, AVoltageModuleRefusesACurrentRangeWithoutWriting) {
  TSimulatedModule module(TLine::Tcp, {"--module", "ingra", "--kind", "voltage"});
  ASSERT_TRUE(module.Started());
  for (const char* range : {"4 - 20 mA", "0 - 20 mA", "1"}) {
    SCOPED_TRACE(range);
    const TRun r = module.Run({"--log", "ingra", "save", range});
    EXPECT_EQ(r.Status, 1) << r;
    EXPECT_EQ(r.Out, "");
    const TTraffic t = TrafficOf(r.Err);
    EXPECT_EQ(t.Other, (std::vector<std::string>{IngraSaveFailed})) << r;
    for (int code : t.Instructions()) {
      EXPECT_NE(code, 0x1A) << r;
      EXPECT_NE(code, 0xE4) << r;
    }
  }
  ExpectFailureJson(module.Run({"--json", "ingra", "save", "4 - 20 mA"}), 1, IngraSaveFailed);

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
  EXPECT_EQ(t.Other, (std::vector<std::string>{IngraSaveFailed})) << r;
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
  EXPECT_EQ(t.Other, (std::vector<std::string>{IngraSaveFailed})) << r;
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

// ---- Outra conversions end to end -------------------------------------------------

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

// ---- Lines that do not work ----------------------------------------------------

TEST(CliFailures, ASilentModuleFailsThePresenceCheckAndNothingMoreIsSent) {
  TSimulatedModule ingra(TLine::Tcp, {"--module", "ingra", "--silent"});
  TSimulatedModule outra(TLine::SerialPort, {"--module", "outra", "--silent"});
  ASSERT_TRUE(ingra.Started());
  ASSERT_TRUE(outra.Started());

  TRun r = ingra.Run({"--timeout", "200", "--log", "ingra", "load"});
  EXPECT_EQ(r.Status, 1) << r;
  EXPECT_EQ(r.Out, "");
  TTraffic t = TrafficOf(r.Err);
  EXPECT_EQ(t.Other, (std::vector<std::string>{"Nepodařilo se připojit k modulu Ingra!"})) << r;
  EXPECT_EQ(t.Sent, (std::vector<std::string>{Request(1, 0xF3)}));
  EXPECT_EQ(t.Received, "");

  ExpectFailureJson(ingra.Run({"--timeout", "200", "--json", "ingra", "save", "1"}), 1,
                    "Nepodařilo se připojit k modulu Ingra!");

  r = outra.Run({"--timeout", "200", "outra", "identify"});
  EXPECT_EQ(r.Status, 1) << r;
  EXPECT_EQ(r.Out, "");
  EXPECT_EQ(r.Err, "Nepodařilo se připojit k modulu Outra!\n");
  ExpectFailureJson(outra.Run({"--timeout", "200", "--json", "outra", "load"}), 1,
                    "Nepodařilo se připojit k modulu Outra!");
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
  EXPECT_EQ(r.Err, "Nepodařilo se připojit k modulu Ingra!\n");
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
  const TRun r = RunProgram({"/usr/bin/prlimit", "--as=209715200", "--stack=536870912", DUOMAT_CLI_PATH, "ports"},
                            std::chrono::seconds(30));
  EXPECT_TRUE(r.Status == 1 && r.Err.find("cannot start: the system gave no thread") != std::string::npos) << r;
}
#endif

// ---- Usage errors ------------------------------------------------------------------

TEST(CliUsage, UsageErrorsExitWithTwoAndSendNothing) {
  TSimulatedModule ingra(TLine::Tcp, {"--module", "ingra"});
  TSimulatedModule outra(TLine::Tcp, {"--module", "outra"});
  ASSERT_TRUE(ingra.Started());
  ASSERT_TRUE(outra.Started());
  const std::vector<std::vector<std::string>> ingraCases = {
      {"bogus", "load"},
      {"ingra"},
      {"ingra", "erase"},
      {"ingra", "save"},
      {"ingra", "save", "0 - 24 mA"},
      {"ingra", "save", "3"},
      {"ingra", "save", "4-20 mA"},
      {"--address", "256", "ingra", "load"},
      {"--address", "x31", "ingra", "load"},
      {"--timeout", "abc", "ingra", "load"},
      {"--timeout", "0", "ingra", "load"},
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
      {"outra", "load", "--value1", "1"},
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

TEST(CliUsage, HelpDocumentsEveryCommandAndOption) {
  TRun r = RunCli({"--help"});
  EXPECT_EQ(r.Status, 0) << r;
  for (const char* word : {"--connection", "--address", "--timeout", "--log", "--json", "ingra",
                           "outra", "ports", "SERIAL_PORT", "TCP_CLIENT", "DUOMAT_PORT_DIR"})
    EXPECT_NE(r.Out.find(word), std::string::npos) << word;
  r = RunCli({"outra", "save", "--help"});
  EXPECT_EQ(r.Status, 0) << r;
  for (const char* word : {"--range", "--timeout1", "--value1", "--timeout2", "--value2", "86400"})
    EXPECT_NE(r.Out.find(word), std::string::npos) << word;
  r = RunCli({"ingra", "save", "--help"});
  EXPECT_EQ(r.Status, 0) << r;
  EXPECT_NE(r.Out.find("RANGE"), std::string::npos) << r;
  EXPECT_NE(r.Out.find("4 - 20 mA"), std::string::npos) << r;
}

TEST(CliUsage, AConnectionStringIsCheckedKeyByKeyBeforeAnythingIsSent) {
  TSimulatedModule module(TLine::SerialPort, {"--module", "ingra"});  // on COM7
  ASSERT_TRUE(module.Started());
  const std::string c7 = "provider=SERIAL_PORT;comport=7;";
  const std::pair<std::string, const char*> cases[] = {  // the string, the key the message names
      {c7 + "baudrate=fast", "baudrate"}, {c7 + "baudrate=9600.0", "baudrate"}, {c7 + "baudrate=0", "baudrate"},
      {c7 + "baudrate=-9600", "baudrate"}, {c7 + "databits=3", "databits"}, {c7 + "parity=evenn", "parity"},
      {c7 + "stopbits=3", "stopbits"}, {c7 + "dtr=maybe", "dtr"}, {c7 + "bauds=9600", "bauds"},
      {c7 + "Baudrate=9600", "Baudrate"}, {"provider=SERIAL_PORT;comport=65543", "comport"},  // 7 in 16 bits
      {"provider=SERIAL_PORT;comport=-65529", "comport"}, {"provider=serial_port;comport=7", "provider"},
      {"provider=SERIAL;comport=7", "provider"}, {"comport=7", "provider"}, {"provider=SERIAL_PORT", "comport"},
      {"provider=HID;vid=1240", "pid"}};
  for (const auto& [connection, key] : cases) {
    const TRun r = RunCli({"-c", connection, "--log", "ingra", "load"});
    EXPECT_EQ(r.Status, 2) << r;
    EXPECT_TRUE(r.Out.empty() && TrafficOf(r.Err).Sent.empty()) << r;
    EXPECT_NE(r.Err.find(std::string(": ") + key), std::string::npos) << r;
  }
  // What the transports read stays accepted: blanks, hexadecimal, words in any case.
  EXPECT_EQ(RunCli({"-c", " provider = SERIAL_PORT ; comport = 0x7 ;parity=even;stopbits=1,5;dtr=0;rts=False",
                    "ingra", "identify"}).Status, 0);
}

TEST(CliOutput, TheIdentificationIsPrintedWithItsControlsEscaped) {
  const std::string hostile = "\x1b]0;owned\x07\x1b[2K\rrange=forged\n";
  TSimulatedModule module(TLine::Tcp, {"--module", "ingra", "--identification", hostile});
  ASSERT_TRUE(module.Started());
  const std::string shown = "\\x1b]0;owned\\x07\\x1b[2K\\rrange=forged\\n";
  EXPECT_EQ(module.Run({"ingra", "identify"}).Out, shown + "\nidentification=" + shown + "\n");
  EXPECT_EQ(JsonOf(module.Run({"--json", "ingra", "identify"})).value("identification", ""), hostile);
}

// An Outra save against a slow module, signalled as the log shows its first
// write (the load takes four frames), and again once it said it took that.
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

// ---- Ports -------------------------------------------------------------------------

TEST(CliPorts, ListsThePresentPortsWithTheirPathsInTextAndJson) {
  korvan::test::TComPorts machine;
  const std::string one = machine.AddTerminal(1), three = machine.AddTerminal(3);
  machine.AddDanglingLink(4);
  const std::string five = machine.AddTerminal(5, true);
  const std::string ten = machine.DevDir() + "/ttyS9";
  const std::string uart = machine.AddTtyS(9, 4);  // a UART only root may open
  machine.AddTtyS(10, 0);                          // COM11: no UART behind the node
  const std::string tenState = access(ten.c_str(), R_OK | W_OK) == 0 ? "free" : "no access";

  const TRun r = RunCli({"ports"});
  ASSERT_EQ(r.Status, 0) << r;
  const std::string listed = "COM1  " + machine.Link(1) + " -> " + one + "  free\n" +  //
                             "COM3  " + machine.Link(3) + " -> " + three + "  free\n" +
                             "COM5  " + machine.Link(5) + " -> " + five + "  in use\n" +  //
                             "COM10  " + ten + " -> " + uart + "  " + tenState + "\n";
  EXPECT_EQ(r.Out.substr(0, listed.size()), listed) << r;
  EXPECT_EQ(r.Out.find("dialout") != std::string::npos, tenState == "no access") << r;

  const json j = JsonOf(RunCli({"ports", "--json"}));
  ASSERT_EQ(j["ports"].size(), 4u) << j;
  const auto noUsb = [](json port) {  // no stable name, no USB device
    port["by_id"] = json::array();
    port["usb"] = nullptr;
    return port;
  };
  EXPECT_EQ(j["ports"][0], noUsb({{"port", 1}, {"path", machine.Link(1)}, {"target", one}, {"state", "free"}}));
  EXPECT_EQ(j["ports"][2].value("state", ""), "in use");
  EXPECT_EQ(j["ports"][3], noUsb({{"port", 10}, {"path", ten}, {"target", uart}, {"state", tenState}}));
  EXPECT_EQ(j["usb"], json::array());
}

// The converter's tree as the kernel and udev show it: its tty's class entry
// up to the USB device, and its stable name.
TEST(CliPorts, ListsTheUsbConvertersWithTheirIdentityAndStableNamesAndTheHidDevices) {
  TDeviceTree dir;
  TSimProcess hid({"--module", "ingra", "--hid", dir.Path(), "--serial", "S1", "--vid", "1240", "--pid", "63"});
  TSimProcess ftdi({"--module", "outra", "--ftdi", dir.Path(), "--serial", "FT123456"});
  ASSERT_TRUE(hid.Started() && ftdi.Started());
  TRun r = RunCli({"ports"});
  EXPECT_EQ(r.Status, 0) << r;
  const std::string byId = "usb-FTDI_FT232R_USB_UART_FT123456-if00-port0";
  EXPECT_NE(r.Out.find("COM33  " + dir.Path() + "/dev/ttyUSB0 -> " + ftdi.PtyPath() +
                       "  free  usb 0403:6001 FTDI FT232R USB UART FT123456  by-id " + byId + "\n"),
            std::string::npos)
      << r;
  EXPECT_NE(r.Out.find("\nusb  FT123456  FT232R USB UART\n"), std::string::npos) << r;
  EXPECT_NE(r.Out.find("\nhid  04d8:003f  vid=1240 pid=63  S1  korvan-sim\n"), std::string::npos) << r;
  const json j = JsonOf(RunCli({"ports", "--json"}));
  ASSERT_EQ(j["ports"].size(), 1u) << j;
  EXPECT_EQ(j["ports"][0]["by_id"], json::array({byId})) << j;
  EXPECT_EQ(j["ports"][0]["usb"], json::parse(R"({"vendor_id":"0403","product_id":"6001","manufacturer":"FTDI",)"
                                              R"("product":"FT232R USB UART","serial":"FT123456"})")) << j;
  EXPECT_EQ(j["usb"], json::parse(R"([{"serial":"FT123456","description":"FT232R USB UART","access":true}])")) << j;
  EXPECT_EQ(j["hid"], json::parse(R"([{"vid":1240,"pid":63,"usb_id":"04d8:003f","serial":"S1","product":"korvan-sim","access":true}])")) << j;
  // Nodes the user may not open: "no access", with what grants it.
  for (const std::string& endpoint : {hid.Endpoints().at(0), ftdi.Endpoints().at(0)})
    chmod(endpoint.substr(endpoint.rfind(' ') + 1).c_str(), 0);
  r = RunCli({"ports"});
  EXPECT_NE(r.Out.find("\nusb  FT123456  FT232R USB UART  no access\n"), std::string::npos) << r;
  EXPECT_NE(r.Out.find("\nhid  04d8:003f  vid=1240 pid=63  S1  korvan-sim  no access\n"), std::string::npos) << r;
  EXPECT_TRUE(r.Out.find("dialout") != std::string::npos &&
              r.Out.find("ATTRS{idVendor}==\"04d8\", ATTRS{idProduct}==\"003f\"") != std::string::npos) << r;
}

TEST(CliPorts, OnlyCharacterDevicesArePortsAndPlantedFilesCannotHoldTheScan) {
  korvan::test::TComPorts machine;
  const std::string dev = machine.DevDir() + "/ttyS", sys = machine.SysfsRoot(), usb = sys + "/bus/usb/devices/1-1";
  mkfifo((dev + "0").c_str(), 0666);              // COM1
  std::ofstream(dev + "1") << "not a port\n";     // COM2
  mkdir((dev + "2").c_str(), 0755);               // COM3
  symlink("/dev/null", (dev + "3").c_str());      // COM4: a character device, but no terminal
  // Attributes that would never answer or never end if read as they are.
  for (const char* d : {"/class/tty/ttyS3", "/bus/usb/devices/1-1/1-1:1.0/ttyUSB0", "/class/hidraw/hidraw0/device"})
    std::filesystem::create_directories(sys + d);
  mkfifo((sys + "/class/tty/ttyS3/type").c_str(), 0666);
  std::ofstream(usb + "/idVendor") << "0403\n";
  symlink("/dev/zero", (usb + "/serial").c_str());
  symlink("/dev/zero", (sys + "/class/hidraw/hidraw0/device/uevent").c_str());
  const TRun r = RunCli({"ports"});  // a hang is killed at the bound and fails here
  EXPECT_EQ(r.Status, 0) << r;
  EXPECT_EQ(r.Out.substr(0, r.Out.find('\n') + 1), "No serial ports found.\n") << r;
  EXPECT_EQ(r.Out.find("COM"), std::string::npos) << r;
}

#endif  // DUOMAT_CLI_PATH
