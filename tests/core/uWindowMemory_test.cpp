#include "core/uWindowMemory.h"
#include "core/uScanFields.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>

#include "support/TTempDir.h"

using namespace duomat;

namespace {

struct TEnvironment {
  std::string name;
  std::string old;
  bool had;
  TEnvironment(const char* n, const char* value) : name(n), had(std::getenv(n) != nullptr) {
    if (had) old = std::getenv(n);
    if (value) setenv(n, value, 1);
    else unsetenv(n);
  }
  ~TEnvironment() {
    if (had) setenv(name.c_str(), old.c_str(), 1);
    else unsetenv(name.c_str());
  }
};

TEST(WindowMemory, WhatIsWrittenIsReadBackThroughNewFolders) {
  korvan::test::TTempDir dir("duomat-memory");
  const std::string path = dir.Path() + "/a/b/window.conf";
  const TWindowMemory memory{{"provider=SERIAL_PORT;comport=3;baudrate=19200", 0x42},
                             {"provider=TCP_CLIENT;host=127.0.0.1;port=502", 0}};
  ASSERT_TRUE(WriteWindowMemory(path, memory));
  const TWindowMemory read = ReadWindowMemory(path);
  EXPECT_EQ(read.Ingra.Connection, memory.Ingra.Connection);
  EXPECT_EQ(read.Ingra.Address, 0x42);
  EXPECT_EQ(read.Outra.Connection, memory.Outra.Connection);
  EXPECT_EQ(read.Outra.Address, 0);
}

TEST(WindowMemory, BadLinesAreLeftOutAndTheRestKept) {
  const struct {
    const char* text;
    const char* ingraConnection;
    int ingraAddress;
  } cases[] = {
      {"ingra.connection=provider=TCP_CLIENT;host=h;port=1\r\ningra.address=0x20\r\n", "provider=TCP_CLIENT;host=h;port=1", 0x20},
      {"ingra.address=0xFE\n", "", -1},  // the universal address is no module's
      {"ingra.address=fifty\n", "", -1},
      {"ingra.address=\n", "", -1},
      {"garbage\n=\n.=\ningra\n", "", -1},
      {"other.connection=x\ningra.colour=red\n", "", -1},
      {"ingra.address=49", "", 49},  // no final line break
  };
  for (const auto& c : cases) {
    const TWindowMemory m = ParseWindowMemory(c.text);
    EXPECT_EQ(m.Ingra.Connection, c.ingraConnection) << c.text;
    EXPECT_EQ(m.Ingra.Address, c.ingraAddress) << c.text;
    EXPECT_EQ(m.Outra.Address, -1) << c.text;
  }
}

TEST(WindowMemory, AFileThatCannotBeReadGivesNothing) {
  korvan::test::TTempDir dir("duomat-memory");
  EXPECT_EQ(ReadWindowMemory(dir.Path() + "/missing").Ingra.Address, -1);
  EXPECT_EQ(ReadWindowMemory(dir.Path()).Ingra.Address, -1);  // a folder
  EXPECT_EQ(ReadWindowMemory("").Ingra.Address, -1);
  const std::string big = dir.Path() + "/big";
  {
    std::ofstream file(big);
    file << "ingra.address=0x20\n" << std::string(70000, '#');
  }
  EXPECT_EQ(ReadWindowMemory(big).Ingra.Address, -1);
  // A connection with a line break cannot be kept as one line.
  EXPECT_EQ(WindowMemoryText({{"a\nouttra.address=1", 1}, {}}), "ingra.address=0x01\n");
}

TEST(WindowMemory, AFolderThatCannotBeMadeIsAFailureNotACrash) {
  korvan::test::TTempDir dir("duomat-memory");
  const std::string file = dir.Path() + "/file";
  std::ofstream(file) << "x";
  EXPECT_FALSE(WriteWindowMemory(file + "/sub/window.conf", {}));
  EXPECT_FALSE(WriteWindowMemory("", {}));
}

TEST(WindowMemory, TheFolderFollowsXdgConfigHomeWhenItIsAbsolute) {
  TEnvironment home("HOME", "/home/op");
  {
    TEnvironment xdg("XDG_CONFIG_HOME", "/cfg");
    EXPECT_EQ(WindowMemoryPath(), "/cfg/duomat/window.conf");
  }
  {
    TEnvironment xdg("XDG_CONFIG_HOME", "relative");
    EXPECT_EQ(WindowMemoryPath(), "/home/op/.config/duomat/window.conf");
  }
  TEnvironment xdg("XDG_CONFIG_HOME", nullptr);
  TEnvironment noHome("HOME", nullptr);
  EXPECT_EQ(WindowMemoryPath(), "");
}

// ---- The scan dialog's fields ----

TEST(ScanFields, FieldsBecomeARequestOrNameTheWrongOne) {
  const std::string serial = "provider=SERIAL_PORT;comport=1;baudrate=9600", tcp = "provider=TCP_CLIENT;host=h;port=1";
  const struct {
    TScanFields fields;
    const std::string& line;
    TScanFieldError error;
    int from, to;
    size_t rates;
  } cases[] = {
      {{}, serial, TScanFieldError::None, 0, 253, 0},
      {{"1f", " 20 ", false, "", false}, serial, TScanFieldError::None, 0x1F, 0x20, 0},
      {{"FE", "FD", false, "", false}, serial, TScanFieldError::From, 0, 0, 0},
      {{"00", "100", false, "", false}, serial, TScanFieldError::To, 0, 0, 0},
      {{"0x1", "FD", false, "", false}, serial, TScanFieldError::From, 0, 0, 0},
      {{"", "FD", false, "", false}, serial, TScanFieldError::From, 0, 0, 0},
      {{"20", "1F", false, "", false}, serial, TScanFieldError::Order, 0, 0, 0},
      {{"00", "FD", false, "9600,19200", false}, serial, TScanFieldError::None, 0, 253, 2},
      {{"00", "FD", true, "nonsense", false}, serial, TScanFieldError::None, 0, 253, 12},
      {{"00", "FD", false, "9601", false}, serial, TScanFieldError::Rates, 0, 0, 0},
      {{"00", "FD", true, "", false}, tcp, TScanFieldError::None, 0, 253, 0},  // no rate to switch
      {{"00", "FD", false, "9601", false}, tcp, TScanFieldError::None, 0, 253, 0},
  };
  for (const auto& c : cases) {
    TScanRequest request;
    request.From = -7;
    const TScanFieldError error = ScanRequestOf(c.fields, c.line == serial, request);
    EXPECT_EQ(error, c.error) << c.fields.From << " " << c.fields.To << " " << c.fields.Rates;
    if (c.error != TScanFieldError::None) {
      EXPECT_EQ(request.From, -7);  // untouched
      continue;
    }
    EXPECT_EQ(request.From, c.from);
    EXPECT_EQ(request.To, c.to);
    EXPECT_EQ(request.Rates.size(), c.rates) << c.fields.Rates;
  }
}

TEST(ScanFields, AFoundModulesRateGoesIntoALineWithARate) {
  const struct {
    const char* line;
    uint32_t rate;
    const char* expected;
  } cases[] = {
      {"provider=SERIAL_PORT;comport=3;baudrate=9600", 19200, "provider=SERIAL_PORT;comport=3;baudrate=19200"},
      {"provider=SERIAL_PORT;BaudRate=9600;comport=3", 115200, "provider=SERIAL_PORT;BaudRate=115200;comport=3"},
      {"provider=FTD_USB;serial_number=A1", 38400, "provider=FTD_USB;serial_number=A1;baudrate=38400"},
      {"provider=SERIAL_PORT;comport=3;", 1200, "provider=SERIAL_PORT;comport=3;baudrate=1200"},
      {"provider=TCP_CLIENT;host=h;port=1", 9600, "provider=TCP_CLIENT;host=h;port=1"},
      {"provider=SERIAL_PORT;comport=3;baudrate=9600", 0, "provider=SERIAL_PORT;comport=3;baudrate=9600"},
  };
  for (const auto& c : cases) EXPECT_EQ(ConnectionAtRate(c.line, c.rate), c.expected) << c.line;
}

}  // namespace
