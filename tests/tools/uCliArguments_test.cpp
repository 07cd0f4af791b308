// duomat-cli's command line read in-process: which command, which options, and the rules for numbers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/duomat-cli/uCliArguments.h"
#include "tools/duomat-cli/uCliCommands.h"

using duomat::cli::TCliOptions;
using duomat::cli::TCliParser;
using duomat::cli::TCommand;

namespace {

struct TParse {
  const TCommand* Command = nullptr;
  int Status = -1;
  TCliOptions Options;
  std::string Err;
};

TParse Parse(std::vector<std::string> words) {
  words.insert(words.begin(), "duomat-cli");
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  TParse p;
  TCliParser parser(p.Options);
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  p.Command = parser.Parse(static_cast<int>(argv.size()), argv.data(), p.Status);
  testing::internal::GetCapturedStdout();
  p.Err = testing::internal::GetCapturedStderr();
  return p;
}

}  // namespace

// The options every command shares are read before and after its name, and
// between a group and its command.
TEST(CliArguments, SharedOptionsStandBeforeOrAfterTheCommand) {
  const std::vector<std::vector<std::string>> forms = {
      {"-c", "provider=HID;vid=1;pid=2", "--address", "0x40", "--timeout", "50", "--json", "--log", "module", "identify"},
      {"module", "identify", "-c", "provider=HID;vid=1;pid=2", "--address", "0x40", "--timeout", "50", "--json", "--log"},
      {"module", "--json", "--log", "identify", "--connection", "provider=HID;vid=1;pid=2", "--address=0x40",
       "--timeout=50"},
  };
  for (const auto& words : forms) {
    SCOPED_TRACE(testing::PrintToString(words));
    const TParse p = Parse(words);
    ASSERT_NE(p.Command, nullptr) << p.Err;
    EXPECT_STREQ(p.Command->Path, "module identify");
    EXPECT_EQ(p.Options.Connection, "provider=HID;vid=1;pid=2");
    EXPECT_EQ(p.Options.Address, "0x40");
    EXPECT_EQ(p.Options.Timeout, "50");
    EXPECT_TRUE(p.Options.Json && p.Options.Log);
  }
  EXPECT_TRUE(Parse({"scan", "--json", "-c", "x"}).Options.Json);
  EXPECT_TRUE(Parse({"ports", "--json"}).Options.Json);
}

// A word that is no command or option is named, with the nearest valid one
// where there is one; nothing is chosen to run.
TEST(CliArguments, AnUnknownWordIsNamedWithTheNearestValidOne) {
  const struct {
    std::vector<std::string> Words;
    std::string Said;
  } cases[] = {
      {{"ingra", "lod"}, "ingra: unknown command 'lod'; did you mean 'load'?"},
      {{"outra", "outptu"}, "outra: unknown command 'outptu'; did you mean 'output'?"},
      {{"module", "frobnicate"}, "module: unknown command 'frobnicate'; the commands are: identify, address"},
      {{"scna"}, "unknown command 'scna'; did you mean 'scan'?"},
      {{"ports", "--jsn"}, "ports: unknown option '--jsn'; did you mean '--json'?"},
      {{"scan", "--scan-timout", "5"}, "scan: unknown option '--scan-timout'; did you mean '--scan-timeout'?"},
      {{"ingra", "load", "extra"}, "ingra load: unexpected argument 'extra'"},
      {{"ingra"}, "'ingra' needs a command; the commands are: load, save, identify, apply, diff"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.Words));
    const TParse p = Parse(c.Words);
    EXPECT_EQ(p.Command, nullptr);
    EXPECT_EQ(p.Status, 2);
    EXPECT_NE(p.Err.find("duomat-cli: " + c.Said), std::string::npos) << p.Err;
    EXPECT_EQ(p.Err.find("A subcommand is required"), std::string::npos) << p.Err;
  }
}

TEST(CliArguments, NearestSuggestsOnlyWhatIsNear) {
  const std::pair<const char*, const char*> cases[] = {{"lod", "load"},    {"idnetify", "identify"}, {"ident", "identify"},
                                                       {"dif", "diff"},    {"x", ""},                {"frobnicate", ""}};
  for (const auto& [word, nearest] : cases)
    EXPECT_EQ(duomat::cli::Nearest(word, {"load", "save", "identify", "apply", "diff"}), nearest) << word;
}

// One address rule: a module's own 0x00-0xFD, 0xFE only where the universal
// address is meant, 0xFF never; decimal or 0x hexadecimal, never octal, no blanks.
TEST(CliArguments, AddressesAndNumbersFollowOneRule) {
  const struct {
    const char* Text;
    int Module;  // -1: refused
    int Target;
  } cases[] = {
      {"0", 0, 0},          {"0x00", 0, 0},       {"253", 253, 253}, {"0xFD", 253, 253}, {"0xfe", -1, 254},
      {"254", -1, 254},     {"0xFF", -1, -1},     {"255", -1, -1},   {"064", 64, 64},    {"0x40", 64, 64},
      {"-1", -1, -1},       {" 5", -1, -1},       {"5 ", -1, -1},    {"0x", -1, -1},     {"", -1, -1},
      {"x31", -1, -1},      {"1e2", -1, -1},      {"0x1FF", -1, -1}, {"49", 49, 49}};
  const auto read = [](auto rule, const char* text) {
    try {
      return rule(text, "ADDR");
    } catch (const duomat::cli::TCliUsage& e) {
      EXPECT_NE(std::string(e.what()).find("ADDR"), std::string::npos) << e.what();
      return -1;
    }
  };
  for (const auto& c : cases) {
    EXPECT_EQ(read(duomat::cli::ModuleAddress, c.Text), c.Module) << '"' << c.Text << '"';
    EXPECT_EQ(read(duomat::cli::TargetAddress, c.Text), c.Target) << '"' << c.Text << '"';
  }
}

// What runs where: the writing guard and the line's options follow the table.
TEST(CliArguments, TheTableSaysWhichCommandsWriteWithTheOptionsGiven) {
  const struct {
    std::vector<std::string> Words;
    std::string Target;
  } cases[] = {
      {{"ingra", "load"}, ""},
      {{"ingra", "save", "1"}, "the Ingra module"},
      {{"outra", "apply", "f.json"}, "the Outra module"},
      {{"outra", "apply", "f.json", "--dry-run"}, ""},
      {{"outra", "output"}, ""},
      {{"outra", "output", "--value1", "4"}, "the Outra module's outputs"},
      {{"module", "set-baud", "9600"}, "the module's address or rate"},
      {{"module", "numbers"}, ""},
      {{"scan"}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.Words));
    const TParse p = Parse(c.Words);
    ASSERT_NE(p.Command, nullptr) << p.Err;
    EXPECT_EQ(duomat::cli::WriteTarget(*p.Command, p.Options), c.Target);
  }
}

// What is refused before the library starts: by the parser (status 2) or by
// the shared options' checks (a usage error naming the field).
TEST(CliArguments, TheParserAndTheSharedChecksRefuseBeforeAnythingIsSent) {
  const std::string line = "provider=TCP_CLIENT;host=127.0.0.1;port=1";
  const std::string c7 = "provider=SERIAL_PORT;comport=7;";
  const struct {
    std::vector<std::string> Words;
    std::string Named;  // in the message; empty: the parser refuses
  } cases[] = {
      {{"-c", line, "bogus", "load"}, ""},
      {{"-c", line, "ingra", "erase"}, ""},
      {{"-c", line, "ingra", "save"}, ""},
      {{"-c", line, "outra", "load", "--value1", "1"}, ""},
      {{"-c", line, "--timeout", "5", "module", "identify", "--timeout"}, ""},
      {{"ingra", "load"}, "--connection is required"},
      {{"-c", line, "--address", "256", "ingra", "load"}, "--address"},
      {{"-c", line, "--address", "0xFF", "outra", "output"}, "--address"},
      {{"-c", line, "ingra", "load", "--address", "x31"}, "--address"},
      {{"-c", line, "--timeout", "abc", "ingra", "load"}, "--timeout"},
      {{"-c", line, "module", "numbers", "--timeout", "0"}, "--timeout"},
      {{"-c", line, "--timeout", "010", "ingra", "load"}, "OK"},  // decimal 10
      {{"-c", c7 + "baudrate=fast", "ingra", "load"}, ": baudrate"},
      {{"-c", c7 + "baudrate=9600.0", "ingra", "load"}, ": baudrate"},
      {{"-c", c7 + "baudrate=0", "ingra", "load"}, ": baudrate"},
      {{"-c", c7 + "baudrate=-9600", "ingra", "load"}, ": baudrate"},
      {{"-c", c7 + "databits=3", "ingra", "load"}, ": databits"},
      {{"-c", c7 + "parity=evenn", "ingra", "load"}, ": parity"},
      {{"-c", c7 + "stopbits=3", "ingra", "load"}, ": stopbits"},
      {{"-c", c7 + "dtr=maybe", "ingra", "load"}, ": dtr"},
      {{"-c", c7 + "bauds=9600", "ingra", "load"}, ": bauds"},
      {{"-c", c7 + "Baudrate=9600", "ingra", "load"}, ": Baudrate"},
      {{"-c", "provider=SERIAL_PORT;comport=65543", "ingra", "load"}, ": comport"},  // 7 in 16 bits
      {{"-c", "provider=SERIAL_PORT;comport=-65529", "ingra", "load"}, ": comport"},
      {{"-c", "provider=serial_port;comport=7", "ingra", "load"}, ": provider"},
      {{"-c", "provider=SERIAL;comport=7", "ingra", "load"}, ": provider"},
      {{"-c", "comport=7", "ingra", "load"}, ": provider"},
      {{"-c", "provider=SERIAL_PORT", "scan"}, ": comport"},
      {{"-c", "provider=HID;vid=1240", "module", "identify"}, ": pid"},
      {{"-c", " provider = SERIAL_PORT ; comport = 0x7 ;parity=even;stopbits=1,5;dtr=0;rts=False", "ingra", "load"},
       "OK"},  // what the transports read: blanks, hexadecimal, words in any case
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.Words));
    const TParse p = Parse(c.Words);
    if (c.Named.empty()) {
      EXPECT_EQ(p.Command, nullptr);
      EXPECT_EQ(p.Status, 2);
      EXPECT_NE(p.Err, "");
      continue;
    }
    ASSERT_NE(p.Command, nullptr) << p.Err;
    std::string said = "OK";
    try {
      duomat::cli::CheckSharedOptions(*p.Command, p.Options);
    } catch (const duomat::cli::TCliUsage& e) {
      said = e.what();
    }
    EXPECT_NE(said.find(c.Named), std::string::npos) << said;
  }
}

// The language is read from the words before the parser runs; a value that is
// not cs or en leaves the desktop's (and the parser then refuses it).
TEST(CliArguments, LangIsFoundAnywhereBeforeADoubleDash) {
  using duomat::TUiLanguage;
  struct TCase {
    std::vector<const char*> Words;
    TUiLanguage Expected;
  } const cases[] = {
      {{"duomat-cli", "--lang", "en", "ports"}, TUiLanguage::English},
      {{"duomat-cli", "ports", "--lang=en"}, TUiLanguage::English},
      {{"duomat-cli", "--lang", "en", "ports", "--lang", "cs"}, TUiLanguage::Czech},  // the last one wins
      {{"duomat-cli", "--lang", "de", "ports"}, duomat::DesktopUiLanguage()},
      {{"duomat-cli", "--lang"}, duomat::DesktopUiLanguage()},
      {{"duomat-cli", "batch", "--", "--lang=en"}, duomat::DesktopUiLanguage()},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(duomat::cli::CliLanguage(static_cast<int>(c.Words.size()), c.Words.data()), c.Expected)
        << c.Words.back();
}
