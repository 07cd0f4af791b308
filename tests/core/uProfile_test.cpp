// Profiles and inventories as people write them by hand, and as attackers do.
#include "core/uProfile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "core/uBatch.h"
#include "core/uModuleText.h"
#include "support/TTempDir.h"

namespace duomat {
namespace {

// The error a text draws, or "" when it is a good Outra profile.
std::string OutraProblem(const std::string& text) {
  try {
    ParseProfile(ParseJsonText(text), TModuleKind::Outra);
    return "";
  } catch (const TProfileError& e) {
    return e.what();
  }
}

// Whole literals, not sums: g++ 12 warns falsely (-Warray-bounds) on a sum of strings.
#define WATCHDOGS R"("watchdogs":[{"timeout":0,"value":0},{"timeout":60,"value":5}])"

TEST(Profile, RefusesWhatAHandWrittenOrHostileFileGetsWrong) {
  using namespace std::string_literals;
  std::string deep(100000, '[');
  deep.append(100000, ']');
  const struct {
    std::string text;
    std::string error;  // a part of the message; "" for accepted
  } cases[] = {
      {R"({"module":"outra","codes":[1,1],)" WATCHDOGS "}", ""},
      // What `--json outra load` prints is a profile as it stands.
      {R"({"ok":true,"message":"x","module":"outra","codes":[1,1],)" WATCHDOGS "}", ""},
      // A misspelt key would silently keep the module's setting.
      {R"({"module":"outra","codes":[1,1],"watchdog":[],)" WATCHDOGS "}",
       "\"watchdog\" is not a key of an Outra profile"},
      {R"({"module":"outra","codes":[1,1],"watchdogs":[{"timeout":0,"valeu":1},{"timeout":0,"value":0}]})",
       "watchdogs[0]: \"valeu\" is not a key of a watchdog"},
      // The reader would keep only the last of two keys.
      {R"({"module":"outra","codes":[1,1],"codes":[2,2],)" WATCHDOGS "}", "\"codes\" twice"},
      // The reader stops at a NUL byte: what follows would be ignored.
      {R"({"module":"outra","codes":[1,1],)" WATCHDOGS "}\0garbage"s, "NUL byte"},
      {R"({"module":"outra","codes":[1,1],)" WATCHDOGS "} {}", "is not JSON"},
      // Deep nesting crashed the error message's dump.
      {deep, "nested deeper"},
  };
  for (const auto& c : cases) {
    const std::string problem = OutraProblem(c.text);
    if (c.error.empty())
      EXPECT_EQ(problem, "") << c.text.substr(0, 80);
    else
      EXPECT_NE(problem.find(c.error), std::string::npos) << problem << " for " << c.text.substr(0, 80);
  }
}

TEST(Profile, ReadsOnlyRegularFiles) {
  korvan::test::TTempDir dir("duomat-profile-");
  const std::string fifo = dir.Path() + "/profile";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // A FIFO with no writer would keep the reader waiting for ever.
  EXPECT_THROW(ReadJsonFile(fifo), TProfileError);
  EXPECT_THROW(ReadJsonFile("/dev/zero"), TProfileError);
}

TEST(Inventory, NamesTheEntryAndTheKeyItDoesNotKnow) {
  korvan::test::TTempDir dir("duomat-profile-");
  const std::string path = dir.Path() + "/inventory.json";
  FILE* f = std::fopen(path.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs(R"([{"name":"pump 1","connection":"provider=TCP_CLIENT;host=127.0.0.1;port=1","module":"ingra",)"
             R"("action":"identify"},{"name":"pump 2","connection":"provider=TCP_CLIENT;host=127.0.0.1;port=1",)"
             R"("adress":"0x32","module":"outra","action":"identify"}])",
             f);
  std::fclose(f);
  try {
    ReadInventory(path);
    FAIL() << "an entry with a misspelt address was taken";
  } catch (const TProfileError& e) {
    EXPECT_NE(std::string(e.what()).find("entry 2 (pump 2): \"adress\" is not a key of an inventory entry"),
              std::string::npos)
        << e.what();
  }
}

}  // namespace
}  // namespace duomat

namespace duomat {
namespace {

TEST(ModuleText, KeepsUtf8AndReadsAnythingElseAsTheCentralEuropeanCodePage) {
  const struct {
    std::string raw, text;
  } cases[] = {
      {"Ingra;v1.0", "Ingra;v1.0"},
      {"\xC4\x8C" "erpadlo", "\xC4\x8C" "erpadlo"},               // UTF-8 stays as it is
      {"\xC8" "erpadlo \xE8\xED\x9Al\xEF", "\xC4\x8C" "erpadlo \xC4\x8D\xC3\xAD\xC5\xA1l\xC4\x8F"},  // "Čerpadlo číšlď"
      {"a\x81z", "a\xEF\xBF\xBDz"},                               // undefined in the code page
      {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},            // a surrogate is no UTF-8
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ModuleText(c.raw), c.text) << c.raw;
    EXPECT_TRUE(IsValidUtf8(ModuleText(c.raw)));
  }
}

}  // namespace
}  // namespace duomat

namespace duomat {
namespace {

TEST(Inventory, EntriesOnOneLineShareItHoweverTheirStringsAreWritten) {
  const struct {
    const char *a, *b;
    bool same;
  } cases[] = {
      {"provider=SERIAL_PORT;comport=5;baudrate=9600", "provider=serial_port; comport=05;baudrate=19200;", true},
      {"provider=SERIAL_PORT;comport=5", "provider=SERIAL_PORT;comport=6", false},
      {"provider=TCP_CLIENT;host=127.0.0.1;port=10001", "port=10001;host=127.0.0.1;provider=TCP_CLIENT", true},
      {"provider=TCP_CLIENT;host=127.0.0.1;port=10001", "provider=UDP_CLIENT;host=127.0.0.1;port=10001", false},
      {"provider=HID;vid=1240;pid=63;serial_number=A", "provider=HID;vid=$4D8;pid=0x3F;serial_number=A", true},
      {"provider=FTD_USB;serial_number=FT1", "provider=FTD_USB;serial_number=FT2", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(LineIdentity(c.a) == LineIdentity(c.b), c.same) << LineIdentity(c.a) << " / " << LineIdentity(c.b);
}

}  // namespace
}  // namespace duomat
