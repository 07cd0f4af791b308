#pragma once
// One duomat-cli session for a test: korvan-sim on a line, the program run on it, its output read.
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

// Each CLI test file runs the program through these.
namespace clitest {

using korvan::test::Bytes;
using korvan::test::BytesOfHex;
using korvan::test::Hex;
using korvan::test::RunProgram;
using korvan::test::TDeviceTree;
using korvan::test::TPortDir;
using korvan::test::TRun;
using korvan::test::TSimProcess;
using nlohmann::json;

// The settings messages as the program says them in English, the language
// RunCli runs it in (their Czech source is checked by the language test).
inline constexpr const char* IngraLoaded = "The settings were loaded from the Ingra module.";
inline constexpr const char* IngraSaved = "The settings were saved to the Ingra module.";
inline constexpr const char* IngraSaveFailed = "Could not save the settings to the Ingra module!";
inline constexpr const char* IngraNotAnswering = "Could not connect to the Ingra module!";
inline constexpr const char* OutraLoaded = "The settings were loaded from the Outra module.";
inline constexpr const char* OutraSaved = "The settings were saved to the Outra module.";
inline constexpr const char* OutraNotAnswering = "Could not connect to the Outra module!";
inline constexpr const char* OpenFailed = "Could not open the connection!";
// What follows a module that does not answer.
inline constexpr const char* NoAnswerHint =
    "hint=check the module's address (--address) and the line's baud rate, or find the module with duomat-cli scan";

// ---- Running the program ----------------------------------------------------

// Runs duomat-cli to its end under the locale variables ENVIRONMENT ("LANG=C";
// the others are unset); one that hangs is killed after a generous bound.
// env execs the program, so the pid a watch sees is the program's.
inline TRun RunCliIn(const std::vector<std::string>& environment, const std::vector<std::string>& options,
                     const korvan::test::TRunWatch& watch = {}) {
  std::vector<std::string> args = {"/usr/bin/env", "-u", "LANGUAGE", "-u", "LC_ALL", "-u", "LC_MESSAGES", "-u", "LANG"};
  args.insert(args.end(), environment.begin(), environment.end());
  args.push_back(DUOMAT_CLI_PATH);
  args.insert(args.end(), options.begin(), options.end());
  return RunProgram(std::move(args), std::chrono::seconds(30), watch);
}

// The same on an English desktop, whatever the test runs under.
inline TRun RunCli(const std::vector<std::string>& options, const korvan::test::TRunWatch& watch = {}) {
  return RunCliIn({"LANG=en_US.UTF-8"}, options, watch);
}

inline std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Exactly one JSON object on one line.
inline json JsonOf(const TRun& run) {
  const size_t newline = run.Out.find('\n');
  EXPECT_EQ(newline, run.Out.size() - 1) << run;
  json j = json::parse(run.Out, nullptr, false);
  EXPECT_TRUE(j.is_object()) << run;
  return j.is_object() ? j : json::object();
}

inline std::set<std::string> Keys(const json& j) {
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
inline bool ParseLogLine(const std::string& text, std::string& direction, std::string& hex) {
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

inline TTraffic TrafficOf(const std::string& err) {
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
inline std::vector<std::string> NumbersIn(const std::string& text) {
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

inline bool Names(const std::string& text, const std::vector<std::string>& numbers) {
  const std::vector<std::string> found = NumbersIn(text);
  for (const std::string& n : numbers)
    if (std::find(found.begin(), found.end(), n) == found.end()) return false;
  return true;
}

inline std::string Request(uint8_t sig, uint8_t instruction, const std::string& data = {}) {
  return Hex(korvan::BuildPacket(0x31, sig, instruction, data));
}

// ---- Simulated modules ------------------------------------------------------

enum class TLine { Tcp, SerialPort, Ftdi, Hid };

inline void PrintTo(TLine line, std::ostream* os) {
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
inline int FreeTcpPort() {
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

inline void ExpectIngraJson(const json& j, const char* message, const std::vector<int>& codes,
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

inline void ExpectOutraJson(const json& j, const char* message, const std::vector<int>& codes,
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

// `also`: the keys that say why or what next ("reason", "hint").
inline void ExpectFailureJson(const TRun& run, int status, const std::string& message,
                              std::set<std::string> also = {}) {
  EXPECT_EQ(run.Status, status) << run;
  const json j = JsonOf(run);
  also.insert({"ok", "message"});
  EXPECT_EQ(Keys(j), also) << j;
  EXPECT_EQ(j.value("ok", true), false) << j;
  EXPECT_EQ(j.value("message", ""), message) << j;
}

}  // namespace clitest

#endif  // DUOMAT_CLI_PATH
