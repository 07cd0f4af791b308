#include "core/uWindowMemory.h"
#include "core/uScanFields.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "support/TTempDir.h"

using namespace duomat;

namespace {

TEST(WindowMemory, WhatIsWrittenIsReadBackThroughNewFolders) {
  korvan::test::TTempDir dir("duomat-memory");
  const std::string path = dir.Path() + "/a/b/window.conf";
  ASSERT_TRUE(WriteWindowMemory(path, {{"provider=SERIAL_PORT;comport=3;baudrate=19200", 0x42}, {"x=1", 0}}));
  const TWindowMemory read = ReadWindowMemory(path);
  EXPECT_EQ(read.Ingra.Connection, "provider=SERIAL_PORT;comport=3;baudrate=19200");
  EXPECT_EQ(read.Ingra.Address, 0x42);
  EXPECT_EQ(read.Outra.Address, 0);
  std::ofstream(dir.Path() + "/file") << "x";
  EXPECT_FALSE(WriteWindowMemory(dir.Path() + "/file/sub/window.conf", {}));  // no folder there
}

TEST(WindowMemory, BadLinesAndFilesGiveNothingAndNeverFail) {
  const std::pair<const char*, int> cases[] = {
      {"ingra.address=0x20\r\n", 0x20}, {"ingra.address=49", 49},  {"ingra.address=0xFE\n", -1},
      {"ingra.address=fifty\n", -1},    {"garbage\n=\n.=\n", -1}, {"outra.address=1\ningra.colour=2\n", -1}};
  for (const auto& [text, address] : cases) EXPECT_EQ(ParseWindowMemory(text).Ingra.Address, address) << text;
  korvan::test::TTempDir dir("duomat-memory");
  EXPECT_EQ(ReadWindowMemory(dir.Path() + "/missing").Ingra.Address, -1);
  EXPECT_EQ(ReadWindowMemory(dir.Path()).Ingra.Address, -1);  // a folder
  std::ofstream(dir.Path() + "/big") << "ingra.address=0x20\n" << std::string(70000, '#');
  EXPECT_EQ(ReadWindowMemory(dir.Path() + "/big").Ingra.Address, -1);
  // A line break would make a second entry of the rest.
  EXPECT_EQ(WindowMemoryText({{"a\noutra.address=1", 1}, {}}), "ingra.address=0x01\n");
}

TEST(WindowMemory, TheFolderFollowsXdgConfigHomeWhenItIsAbsolute) {
  const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  setenv("HOME", "/home/op", 1);
  setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(WindowMemoryPath(), "/cfg/duomat/window.conf");
  setenv("XDG_CONFIG_HOME", "relative", 1);
  EXPECT_EQ(WindowMemoryPath(), "/home/op/.config/duomat/window.conf");
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", home.c_str(), 1);
}

TEST(ScanFields, FieldsBecomeARequestOrNameTheWrongOne) {
  const struct {
    TScanFields fields;
    bool lineHasRate;
    TScanFieldError error;
    int from, to;
    size_t rates;
  } cases[] = {
      {{}, true, TScanFieldError::None, 0, 253, 0},
      {{"1f", " 20 ", false, "", false}, true, TScanFieldError::None, 0x1F, 0x20, 0},
      {{"FE", "FD", false, "", false}, true, TScanFieldError::From, 0, 0, 0},
      {{"0x1", "FD", false, "", false}, true, TScanFieldError::From, 0, 0, 0},
      {{"00", "100", false, "", false}, true, TScanFieldError::To, 0, 0, 0},
      {{"20", "1F", false, "", false}, true, TScanFieldError::Order, 0, 0, 0},
      {{"00", "FD", false, "9600,19200", false}, true, TScanFieldError::None, 0, 253, 2},
      {{"00", "FD", true, "nonsense", false}, true, TScanFieldError::None, 0, 253, 12},
      {{"00", "FD", false, "9601", false}, true, TScanFieldError::Rates, 0, 0, 0},
      {{"00", "FD", true, "9601", false}, false, TScanFieldError::None, 0, 253, 0},  // no rate to switch
  };
  for (const auto& c : cases) {
    TScanRequest request;
    request.From = -7;
    EXPECT_EQ(ScanRequestOf(c.fields, c.lineHasRate, request), c.error) << c.fields.From << c.fields.Rates;
    EXPECT_EQ(request.From, c.error == TScanFieldError::None ? c.from : -7);  // untouched on an error
    EXPECT_EQ(request.To, c.error == TScanFieldError::None ? c.to : TScanRequest{}.To);
    EXPECT_EQ(request.Rates.size(), c.rates) << c.fields.Rates;
  }
}

TEST(ScanFields, AFoundModulesRateGoesIntoALineWithARate) {
  const std::tuple<const char*, uint32_t, const char*> cases[] = {
      {"provider=SERIAL_PORT;comport=3;baudrate=9600", 19200, "provider=SERIAL_PORT;comport=3;baudrate=19200"},
      {"provider=SERIAL_PORT;BaudRate=9600;comport=3", 1200, "provider=SERIAL_PORT;BaudRate=1200;comport=3"},
      {"provider=FTD_USB;serial_number=A1;", 38400, "provider=FTD_USB;serial_number=A1;baudrate=38400"},
      {"provider=TCP_CLIENT;host=h;port=1", 9600, "provider=TCP_CLIENT;host=h;port=1"},
      {"provider=SERIAL_PORT;baudrate=9600", 0, "provider=SERIAL_PORT;baudrate=9600"}};
  for (const auto& [line, rate, expected] : cases) EXPECT_EQ(ConnectionAtRate(line, rate), expected) << line;
}

}  // namespace
