#include "comm/uci_ConnectionString.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <optional>
#include <random>
#include <thread>
#include <vector>

#include "comm/uci_ICommunicationInterface.h"

using namespace korvan;

namespace {

// A backslash in these tables is written as \\ in the C++ literal.
struct TValueCase {
  std::string S;
  std::string Key;
  std::optional<std::string> Value;  // empty: absent or rejected
};

std::string Describe(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\r') out += "<CR>";
    else if (c == '\n') out += "<LF>";
    else if (c == '\t') out += "<TAB>";
    else out += c;
  }
  return out;
}

void ExpectValues(const std::vector<TValueCase>& cases) {
  for (const TValueCase& c : cases) {
    SCOPED_TRACE("S=[" + Describe(c.S) + "] Key=[" + c.Key + "]");
    std::string value = "stale";
    const bool found = GetConfigurationValue(c.S, c.Key, value);
    EXPECT_EQ(found, c.Value.has_value());
    EXPECT_EQ(value, c.Value.value_or(""));
  }
}

}  // namespace

// ---- Key reader --------------------------------------------------------------

TEST(uci_ConnectionString, KeyReaderFindsItemsAndSkipsBlanksOnlyBeforeTheEquals) {
  ExpectValues({
      {"provider=SERIAL_PORT;comport=3", "comport", "3"},
      {"provider=SERIAL_PORT;comport=3", "provider", "SERIAL_PORT"},
      {"provider=SERIAL_PORT;comport=3", "baudrate", std::nullopt},
      {"a=1; b=2", "b", "2"},
      {" \t\r\n a \t = v", "a", " v"},  // blanks after the "=" belong to the value
      {"a= 1", "a", " 1"},
      {"a=1 ;b=2", "a", "1 "},
      {"a=1;\r\nb=2", "b", "2"},
      {"a:1", "a", "1"},  // the character after the key is stepped over unread
      {"", "a", std::nullopt},
      {"   ", "a", std::nullopt},
  });
}

TEST(uci_ConnectionString, KeyReaderComparesWholeKeysExactly) {
  ExpectValues({
      {"Port=5", "port", std::nullopt},
      {"port=5", "Port", std::nullopt},
      {"ab=1", "a", std::nullopt},
      {"a=1;ab=2", "ab", "2"},
      {"a_b9=1", "a_b9", "1"},
      {"provider=UDP_CLIENT;LocalPort=7;port=10001", "port", "10001"},
      {"a=b=1;b=2", "b", "2"},  // "b=1" is inside a's value
      {"x=(b=1);b=2", "b", "2"},
  });
}

TEST(uci_ConnectionString, KeyReaderTakesTheFirstItemEvenWhenItsValueIsRejected) {
  ExpectValues({
      {"port=5;port=6", "port", "5"},
      {"a=(1)x;a=2", "a", std::nullopt},
      {"a=;a=2", "a", ""},
  });
}

TEST(uci_ConnectionString, KeyReaderTreatsAnEqualsAtTheVeryEndAsAbsent) {
  ExpectValues({
      {"provider=", "provider", std::nullopt},
      {"a=1;b=", "b", std::nullopt},
      {"a=1;b", "b", std::nullopt},
      {"a", "a", std::nullopt},
      {"a=1;b= ", "b", " "},
      {"a=;b=2", "a", ""},
      {"a=;b=2", "b", "2"},
      {"b =", "b", std::nullopt},
  });
}

TEST(uci_ConnectionString, KeyReaderDecodesEscapes) {
  ExpectValues({
      {"a=1;b=x\\;y", "b", "x;y"},
      {"a=1;b=x\\;y", "a", "1"},
      {"a=x\\\\y;b=2", "a", "x\\y"},
      {"a=x\\\\;b=2", "b", "2"},      // an escaped backslash does not escape the ";"
      {"a=\\(x;b=2", "a", "(x"},      // an escaped parenthesis does not nest
      {"a=\\(x;b=2", "b", "2"},
      {"a=1\\;b=2", "b", std::nullopt},  // the escaped ";" joins b to a's value
      {"a=x\\", "a", "x"},            // a lone final backslash is dropped
      {"a=\\", "a", ""},
  });
}

TEST(uci_ConnectionString, KeyReaderKeepsParenthesisedValuesAsTheyStand) {
  ExpectValues({
      {"a=(1;2);b=3", "a", "1;2"},
      {"a=(1;2);b=3", "b", "3"},
      {"a=((1;2);3);b=4", "a", "(1;2);3"},
      {"a=((1;2);3);b=4", "b", "4"},
      {"a=(x\\;y)", "a", "x\\;y"},
      {"a=(x\\))", "a", "x\\)"},
      {"a=()", "a", ""},
      {"a=(1)(2)", "a", "1)(2"},
      {"a=(1)2;b=3", "a", std::nullopt},  // must end with ")"
      {"a=(1)2;b=3", "b", "3"},
      {"a=(x)\\", "a", std::nullopt},
      {"a=1(2)", "a", "1(2)"},  // only a leading "(" makes a parenthesised value
  });
}

TEST(uci_ConnectionString, UnbalancedParenthesesFailTheValueAndAnUnclosedOneHidesLaterKeys) {
  ExpectValues({
      {"a=(1;2;b=3", "a", std::nullopt},
      {"a=(1;2;b=3", "b", std::nullopt},
      {"a=(x\\);b=3", "b", std::nullopt},  // the escaped ")" does not close
      // An extra ")" stops at the next ";" below depth 0: that value fails,
      // but the search goes on from there.
      {"a=1);b=2", "a", std::nullopt},
      {"a=1);b=2", "b", "2"},
      {"a=(1));b=2", "a", std::nullopt},
      {"a=(1));b=2", "b", "2"},
  });
}

TEST(uci_ConnectionString, AnEmptyItemTakesTheNextItemAsItsValue) {
  // After ";;" the empty identifier's "=" is the second ";", and "b=2" is read
  // as its value.
  ExpectValues({
      {"a=1;;b=2", "b", std::nullopt},
      {"a=1;;b=2;c=3", "c", "3"},
  });
}

TEST(uci_ConnectionString, LongNestingAndLongValuesAreHandled) {
  const std::string deep = "a=" + std::string(100000, '(') + ";b=1";
  std::string value;
  EXPECT_FALSE(GetConfigurationValue(deep, "a", value));
  EXPECT_FALSE(GetConfigurationValue(deep, "b", value));

  const std::string balanced = "a=" + std::string(50000, '(') + std::string(50000, ')') + ";b=1";
  EXPECT_TRUE(GetConfigurationValue(balanced, "a", value));
  EXPECT_EQ(value.size(), 99998u);
  EXPECT_TRUE(GetConfigurationValue(balanced, "b", value));
  EXPECT_EQ(value, "1");
}

TEST(uci_ConnectionString, KeyReaderMayReadFromItsOwnOutputString) {
  std::string s = "a=x\\;y;b=2";
  EXPECT_TRUE(GetConfigurationValue(s, "a", s));
  EXPECT_EQ(s, "x;y");
  s = "a=(1";
  EXPECT_FALSE(GetConfigurationValue(s, "a", s));
  EXPECT_EQ(s, "");
}

// ---- Integer and Boolean forms ------------------------------------------------

TEST(uci_ConnectionString, StrToIntStrictAcceptsDecimalAndHexadecimalForms) {
  const std::vector<std::pair<std::string, int32_t>> accepted = {
      {"0", 0},
      {"123", 123},
      {"+7", 7},
      {"-7", -7},
      {"   42", 42},
      {"  -42", -42},
      {"007", 7},
      {"00000000000000000000042", 42},
      {"$1F", 31},
      {"$1f", 31},
      {"x10", 16},
      {"X10", 16},
      {"0x10", 16},
      {"0XaB", 171},
      {"-$10", -16},
      {"+0x10", 16},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"$7FFFFFFF", INT32_MAX},
      {"-$80000000", INT32_MIN},
      {"$00000000000000FF", 255},
  };
  for (const auto& [text, expected] : accepted) {
    int32_t value = 99;
    EXPECT_TRUE(StrToIntStrict(text, value)) << "[" << text << "]";
    EXPECT_EQ(value, expected) << "[" << text << "]";
  }
}

TEST(uci_ConnectionString, StrToIntStrictRejectsTrailingTextOverflowAndMissingDigits) {
  const std::vector<std::string> rejected = {
      "",         " ",           "-",           "+",         "$",        "0x",       "x",
      "-$",       "1 ",          " 1 ",         "\t1",       "1\t",      "1.0",      "1e3",
      "12a",      "$G",          "0x1G",        "--1",       "+-1",      "- 1",      "$ 1",
      "0x-1",     "$-1",         "1_0",         "0b1",       "2147483648", "-2147483649",
      "$80000000", "$FFFFFFFF",  "-$80000001",  "99999999999999999999", "$1FFFFFFFFFFFFFFFF",
      std::string("1\0", 2),
  };
  for (const std::string& text : rejected) {
    int32_t value = 99;
    EXPECT_FALSE(StrToIntStrict(text, value)) << "[" << Describe(text) << "]";
    EXPECT_EQ(value, 0) << "[" << Describe(text) << "]";
  }
}

TEST(uci_ConnectionString, StrToBooleanAcceptsNumbersAndTheTwoWords) {
  const std::vector<std::pair<std::string, bool>> accepted = {
      {"0", false},      {"-1", true},       {"1", true},      {"2", true},        {"0.0", false},
      {"-0", false},     {"+0", false},      {"000", false},   {"0.5", true},      {".5", true},
      {"5.", true},      {"0.", false},      {".0", false},    {"1e3", true},      {"0e5", false},
      {"1E-3", true},    {"+2.5e+10", true}, {"0.000e-7", false}, {"1e-400", true}, {"  1", true},
      {"  0", false},    {"True", true},     {"true", true},   {"TRUE", true},     {"tRuE", true},
      {"False", false},  {"false", false},   {"FALSE", false},
  };
  for (const auto& [text, expected] : accepted) {
    bool value = !expected;
    EXPECT_TRUE(StrToBoolean(text, value)) << "[" << text << "]";
    EXPECT_EQ(value, expected) << "[" << text << "]";
  }
}

TEST(uci_ConnectionString, StrToBooleanRejectsEverythingElse) {
  const std::vector<std::string> rejected = {
      "",     " ",    ".",     "-",     "+",     "-.",   "e5",   "1e",   "1e+",   "1,5", "1.2.3", "--1",
      "yes",  "no",   "T",     "F",     "on",    "inf",  "nan",  "0x1",  "$1",    "1 ",  "True ", " True",
      "Tru",  "Falsey", "1\t", "\t1",   std::string("0\0", 2),
  };
  for (const std::string& text : rejected) {
    bool value = true;
    EXPECT_FALSE(StrToBoolean(text, value)) << "[" << Describe(text) << "]";
    EXPECT_FALSE(value) << "[" << Describe(text) << "]";
  }
}

TEST(uci_ConnectionString, BooleansAreWrittenAsMinusOneAndZeroAndReadBack) {
  EXPECT_EQ(BooleanToStr(true), "-1");
  EXPECT_EQ(BooleanToStr(false), "0");
  for (bool b : {true, false}) {
    bool back = !b;
    EXPECT_TRUE(StrToBoolean(BooleanToStr(b), back));
    EXPECT_EQ(back, b);
  }
}

TEST(uci_ConnectionString, TypedKeyReadersConvertTheDecodedValue) {
  struct TCase {
    std::string S;
    std::string Key;
    std::optional<int32_t> Integer;
    std::optional<bool> Boolean;
  };
  const std::vector<TCase> cases = {
      {"a= 1", "a", 1, true},  // leading blanks are allowed by both forms
      {"a=1 ", "a", std::nullopt, std::nullopt},
      {"a=$10", "a", 16, std::nullopt},
      {"a=;b=2", "a", std::nullopt, std::nullopt},  // found, but empty
      {"a=;b=2", "b", 2, true},
      {"dtr=-1;rts=0", "dtr", -1, true},
      {"dtr=-1;rts=0", "rts", 0, false},
      {"dtr=True", "dtr", std::nullopt, true},
      {"dtr=fAlSe", "dtr", std::nullopt, false},
      {"a=0.0", "a", std::nullopt, false},
      {"a=(12)", "a", 12, true},
      {"a=1\\2", "a", 12, true},  // decoded before conversion
      {"a=2147483648", "a", std::nullopt, true},
      {"a=maybe", "a", std::nullopt, std::nullopt},
      {"A=1", "a", std::nullopt, std::nullopt},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE("S=[" + c.S + "] Key=[" + c.Key + "]");
    int32_t integer = 99;
    EXPECT_EQ(GetConfigurationInteger(c.S, c.Key, integer), c.Integer.has_value());
    EXPECT_EQ(integer, c.Integer.value_or(0));
    bool boolean = true;
    EXPECT_EQ(GetConfigurationBoolean(c.S, c.Key, boolean), c.Boolean.has_value());
    EXPECT_EQ(boolean, c.Boolean.value_or(false));
  }
}

// ---- Loose reader --------------------------------------------------------------

TEST(uci_ConnectionString, LooseReaderTakesTheTextAfterTheFirstKeyEqualsAnywhere) {
  struct TCase {
    std::string S;
    std::string Key;
    std::string Expected;
  };
  const std::vector<TCase> cases = {
      {"provider=UDP_CLIENT;LocalPort=7;port=10001", "port", "7"},  // inside LocalPort
      {"provider=UDP_CLIENT;LocalPort=7;port=10001", "PROVIDER", "UDP_CLIENT"},
      {"Port=5", "port", "5"},
      {"port=5;port=6", "port", "5"},
      {"HOST=MyHost;port=1", "host", "MyHost"},  // the value keeps its letter case
      {"host= 1.2.3.4 ;port=1", "host", " 1.2.3.4 "},
      {"a=x\\;y", "a", "x\\"},    // no escapes
      {"a=(1;2)", "a", "(1"},     // no parentheses
      {"a=b=c;d", "a", "b=c"},
      {"a=", "a", ""},            // found and empty, not the default
      {"a=1;b=", "b", ""},
      {"a =1", "a", "<default>"}, // no blanks are skipped
      {"a", "a", "<default>"},
      {"", "a", "<default>"},
      {"b=1", "a", "<default>"},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(GetConnectionValue(c.S, c.Key, "<default>"), c.Expected) << "S=[" << c.S << "] Key=[" << c.Key << "]";
  }
}

TEST(uci_ConnectionString, LooseIntegerFallsBackToTheDefaultWhenItDoesNotConvert) {
  EXPECT_EQ(GetConnectionInteger("provider=SERIAL_PORT;comport=3", "COMPORT", -5), 3);
  EXPECT_EQ(GetConnectionInteger("comport= 3", "comport", -5), 3);
  EXPECT_EQ(GetConnectionInteger("vid=$0403", "vid", -5), 0x403);
  EXPECT_EQ(GetConnectionInteger("provider=UDP_CLIENT;LocalPort=7;port=10001", "port", -5), 7);
  EXPECT_EQ(GetConnectionInteger("comport=", "comport", -5), -5);
  EXPECT_EQ(GetConnectionInteger("comport=x", "comport", -5), -5);
  EXPECT_EQ(GetConnectionInteger("comport=3 ", "comport", -5), -5);
  EXPECT_EQ(GetConnectionInteger("baudrate=9600", "comport", -5), -5);
}

// ---- Items ---------------------------------------------------------------------

TEST(uci_ConnectionString, ItemsAreReadAsTheKeyReaderReadsEachValue) {
  struct TCase {
    std::string S;
    std::vector<std::vector<std::string>> Items;  // key, raw, value
    TConnectionItems::TFault Fault;
    std::string FaultText;
  };
  using F = TConnectionItems::TFault;
  const std::vector<TCase> cases = {
      {"", {}, F::None, ""},
      {";;a=1;;b=;", {{"a", "1", "1"}, {"b", "", ""}}, F::None, ""},  // empty items passed over
      {"a=x\\;y;b=(1;(2));c=v=w", {{"a", "x\\;y", "x;y"}, {"b", "(1;(2))", "1;(2)"}, {"c", "v=w", "v=w"}},
       F::None, ""},
      {"a=1;b;c=2", {{"a", "1", "1"}}, F::NotKeyValue, "b"},
      {"a=1;=2;c=3", {{"a", "1", "1"}}, F::NotKeyValue, "=2"},
      {"a =1", {}, F::NotKeyValue, "a =1"},  // blanks are the caller's to delete
      {"a=(1;b=2", {}, F::Parentheses, "a=(1;b=2"},
      {"a=(1)x;b=2", {}, F::Parentheses, "a=(1)x"},
      {"a=1);b=2", {}, F::Parentheses, "a=1)"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE("S=[" + c.S + "]");
    const TConnectionItems parsed = ParseConnectionItems(c.S);
    std::vector<std::vector<std::string>> items;
    for (const TConnectionItem& item : parsed.Items) items.push_back({item.Key, item.Raw, item.Value});
    EXPECT_EQ(items, c.Items);
    EXPECT_EQ(parsed.Fault, c.Fault);
    EXPECT_EQ(parsed.FaultText, c.FaultText);
  }
}

// ---- Provider registry ---------------------------------------------------------
// The registry is process-wide and other modules may register the real
// providers when they initialise, so these tests use names of their own and
// remove exactly what they added.

namespace {

// What the creators were handed, for the tests to inspect.
std::vector<std::string> createdWith;

TRef<ci::ICommunicationInterface> CreateNothing(const std::string& s) {
  createdWith.push_back(s);
  return nullptr;
}

// The least an interface needs to exist; it counts its live instances.
class TFakeInterface : public ci::TCommunicationInterface {
 public:
  static inline std::atomic<int> alive{0};
  TFakeInterface() { ++alive; }
  ~TFakeInterface() override { --alive; }

  bool GetActive() override { return false; }
  std::string GetIdentity() override { return "fake"; }
  int InputCount() override { return 0; }
  void ClearInput() override {}
  void ClearOutput() override {}

 protected:
  bool InternalOpen() override { return false; }
  bool InternalClose(bool) override { return true; }
  int InternalWrite(const std::string&) override { return 0; }
  void InternalRead(std::string&) override {}
  bool InternalSetConfiguration(const std::string&) override { return true; }
};

TRef<ci::ICommunicationInterface> CreateFake(const std::string& s) {
  createdWith.push_back(s);
  return CreateObject<TFakeInterface>();
}

const TCommunicationInterfaceClass ClassA{"TClassA", &CreateNothing};
const TCommunicationInterfaceClass ClassB{"TClassB", &CreateNothing};
const TCommunicationInterfaceClass FakeClass{"TFakeInterface", &CreateFake};
const TCommunicationInterfaceClass NoCreator{"TNoCreator", nullptr};

class uci_ConnectionStringRegistry : public ::testing::Test {
 protected:
  void SetUp() override { createdWith.clear(); }
  void TearDown() override {
    for (const std::string& name : registered_) UnregisterProvider(name);
  }

  bool Register(const TCommunicationInterfaceClass* c, const std::string& name) {
    const bool added = RegisterProvider(c, name);
    if (added) registered_.push_back(name);
    return added;
  }
  void Unregister(const std::string& name) {
    const TCommunicationInterfaceClass* c = nullptr;
    if (!FindProvider(name, c)) return;
    UnregisterProvider(name);
    for (auto it = registered_.begin(); it != registered_.end(); ++it) {
      if (SameName(*it, name)) {
        registered_.erase(it);
        break;
      }
    }
  }

  static const TCommunicationInterfaceClass* Found(const std::string& name) {
    const TCommunicationInterfaceClass* c = &NoCreator;
    const bool found = FindProvider(name, c);
    EXPECT_EQ(found, c != nullptr) << name;
    return c;
  }

 private:
  static bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
             return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
  }
  std::vector<std::string> registered_;
};

}  // namespace

TEST_F(uci_ConnectionStringRegistry, RejectsMissingClassCreatorOrName) {
  EXPECT_FALSE(Register(nullptr, "TEST_X"));
  EXPECT_FALSE(Register(&NoCreator, "TEST_X"));
  EXPECT_FALSE(Register(&ClassA, ""));
  EXPECT_EQ(Found("TEST_X"), nullptr);
  EXPECT_EQ(Found(""), nullptr);
}

TEST_F(uci_ConnectionStringRegistry, FindsNamesWithoutRegardToLetterCase) {
  ASSERT_TRUE(Register(&ClassA, "TEST_SERIAL"));
  ASSERT_TRUE(Register(&ClassB, "TEST_TCP"));
  EXPECT_EQ(Found("TEST_SERIAL"), &ClassA);
  EXPECT_EQ(Found("test_Serial"), &ClassA);
  EXPECT_EQ(Found("test_tcp"), &ClassB);
  EXPECT_EQ(Found("TEST_SER"), nullptr);
  EXPECT_EQ(Found("TEST_SERIAL "), nullptr);
}

TEST_F(uci_ConnectionStringRegistry, DuplicatesAreAppendedButTheFirstIsFoundUntilRemoved) {
  ASSERT_TRUE(Register(&ClassA, "TEST_DUP"));
  ASSERT_TRUE(Register(&ClassB, "test_dup"));
  EXPECT_EQ(Found("TEST_DUP"), &ClassA);
  EXPECT_EQ(Found("test_dup"), &ClassA);

  Unregister("Test_Dup");  // removes the pair that was found
  EXPECT_EQ(Found("TEST_DUP"), &ClassB);
  Unregister("TEST_UNKNOWN");
  EXPECT_EQ(Found("TEST_DUP"), &ClassB);
  Unregister("test_dup");
  EXPECT_EQ(Found("TEST_DUP"), nullptr);
  UnregisterProvider("test_dup");  // nothing left: no effect
}

TEST_F(uci_ConnectionStringRegistry, ConcurrentRegistrationsAndLookupsAllLand) {
  constexpr int threads = 4;
  constexpr int perThread = 200;
  auto nameOf = [](int t, int i) { return "TEST_P" + std::to_string(t) + "_" + std::to_string(i); };
  std::atomic<int> misses{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([t, &misses, &nameOf] {
      for (int i = 0; i < perThread; ++i) {
        const std::string name = nameOf(t, i);
        RegisterProvider(t % 2 ? &ClassA : &ClassB, name);
        const TCommunicationInterfaceClass* c = nullptr;
        if (!FindProvider(name, c)) ++misses;
        if (i % 3 == 0) UnregisterProvider(name);
      }
    });
  }
  for (std::thread& w : workers) w.join();
  EXPECT_EQ(misses.load(), 0);
  for (int t = 0; t < threads; ++t) {
    for (int i = 0; i < perThread; ++i) {
      const std::string name = nameOf(t, i);
      EXPECT_EQ(Found(name), i % 3 == 0 ? nullptr : (t % 2 ? &ClassA : &ClassB)) << name;
      UnregisterProvider(name);
    }
  }
}

TEST_F(uci_ConnectionStringRegistry, CreatorGetsTheStringWithoutBlanksAndOneItemPerLine) {
  ASSERT_TRUE(Register(&ClassA, "TEST_TCP"));
  TRef<ci::ICommunicationInterface> iface;
  // The creator returns nothing, so the result is false; what it was handed counts.
  EXPECT_FALSE(CreateCommunicationInterface("provider = TEST_TCP ;\r\nhost = 10.0.0.5 ;\r\nport = 10001\r\n", iface));
  EXPECT_FALSE(iface);
  // Everything but CR, LF and space stays, ";" becomes CR even inside
  // parentheses or after a backslash, and empty items stay as empty lines.
  EXPECT_FALSE(CreateCommunicationInterface("provider=TEST_TCP;;a=(1;2);b=x\\;y\t;", iface));
  EXPECT_EQ(createdWith, (std::vector<std::string>{"provider=TEST_TCP\rhost=10.0.0.5\rport=10001",
                                                   "provider=TEST_TCP\r\ra=(1\r2)\rb=x\\\ry\t\r"}));
}

TEST_F(uci_ConnectionStringRegistry, ProviderLineIsFoundAnywhereWithoutRegardToCase) {
  ASSERT_TRUE(Register(&ClassA, "TEST_SERIAL"));
  ASSERT_TRUE(Register(&ClassA, "TEST_TCP"));
  struct TCase {
    std::string S;
    bool Created;
  };
  const std::vector<TCase> cases = {
      {"provider=TEST_SERIAL;comport=3", true},
      {"comport=3;PROVIDER=test_serial", true},
      {"pro vider=TEST_TCP", true},                        // spaces go before the lookup
      {"provider=TEST_TCP;provider=TEST_NONE", true},      // the first line wins
      {"provider=TEST_NONE;provider=TEST_SERIAL", false},
      {"comport=3", false},
      {"provider=TEST_NONE;serial_number=X", false},
      {"provider=", false},
      {"provider;x=1", false},
      {"provider\t=TEST_SERIAL", false},  // only CR, LF and space are deleted
      {"provider=TEST_SERIAL=1", false},  // the value runs to the end of its line
      {"myprovider=TEST_SERIAL", false},
      {"", false},
  };
  for (const TCase& tc : cases) {
    createdWith.clear();
    TRef<ci::ICommunicationInterface> iface;
    EXPECT_FALSE(CreateCommunicationInterface(tc.S, iface)) << tc.S;
    EXPECT_EQ(createdWith.size(), tc.Created ? 1u : 0u) << tc.S;
  }
}

TEST_F(uci_ConnectionStringRegistry, CreationSetsTheInterfaceAndClearsAnOldOneFirst) {
  ASSERT_TRUE(Register(&FakeClass, "TEST_FAKE"));
  ASSERT_TRUE(Register(&ClassA, "TEST_NOTHING"));
  {
    TRef<ci::ICommunicationInterface> iface;
    ASSERT_TRUE(CreateCommunicationInterface("provider=test_fake;x=1", iface));
    ASSERT_TRUE(iface);
    EXPECT_NE(dynamic_cast<TFakeInterface*>(iface.get()), nullptr);
    EXPECT_EQ(TFakeInterface::alive.load(), 1);

    // A failing call still drops the reference it was given.
    EXPECT_FALSE(CreateCommunicationInterface("provider=TEST_NONE", iface));
    EXPECT_FALSE(iface);
    EXPECT_EQ(TFakeInterface::alive.load(), 0);

    ASSERT_TRUE(CreateCommunicationInterface("provider=TEST_FAKE", iface));
    EXPECT_FALSE(CreateCommunicationInterface("provider=TEST_NOTHING", iface));
    EXPECT_FALSE(iface);
    EXPECT_EQ(TFakeInterface::alive.load(), 0);
    ASSERT_TRUE(CreateCommunicationInterface("provider=TEST_FAKE", iface));
  }
  EXPECT_EQ(TFakeInterface::alive.load(), 0);
  EXPECT_EQ(createdWith, (std::vector<std::string>{"provider=test_fake\rx=1", "provider=TEST_FAKE",
                                                   "provider=TEST_NOTHING", "provider=TEST_FAKE"}));
}

// ---- Robustness ----------------------------------------------------------------

// Random strings rich in the characters the readers treat specially, each in a
// heap buffer of exactly its size so that AddressSanitizer catches any read
// beyond the end. Beyond not crashing, the readers must keep their contracts.
TEST(uci_ConnectionString, RandomStringsNeverMakeAReaderReadOutsideTheString) {
  static const std::string alphabet = ";;;===()()\\\\  \t\r\nabAB_1$x-.eT";
  std::mt19937 random(20240611);
  auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };

  for (int round = 0; round < 20000; ++round) {
    std::vector<char> text(pick(40));
    for (char& c : text) c = pick(50) == 0 ? static_cast<char>(pick(256)) : alphabet[pick(alphabet.size())];
    const std::string_view S(text.data(), text.size());

    std::vector<char> keyBuffer(pick(4));
    for (char& c : keyBuffer) c = "abAB_1="[pick(7)];
    const std::string_view Key(keyBuffer.data(), keyBuffer.size());
    SCOPED_TRACE("S=[" + Describe(std::string(S)) + "] Key=[" + std::string(Key) + "]");

    std::string value = "stale";
    const bool found = GetConfigurationValue(S, Key, value);
    if (!found) {
      ASSERT_EQ(value, "");
    }

    int32_t integer = 99;
    int32_t direct = 0;
    const bool isInteger = GetConfigurationInteger(S, Key, integer);
    ASSERT_EQ(isInteger, found && StrToIntStrict(value, direct));
    ASSERT_EQ(integer, isInteger ? direct : 0);

    bool boolean = true;
    bool directBoolean = false;
    const bool isBoolean = GetConfigurationBoolean(S, Key, boolean);
    ASSERT_EQ(isBoolean, found && StrToBoolean(value, directBoolean));
    ASSERT_EQ(boolean, isBoolean && directBoolean);

    const std::string loose = GetConnectionValue(S, Key, "\x01");
    if (loose != "\x01") {
      ASSERT_EQ(loose.find(';'), std::string::npos);
      ASSERT_NE(S.find(loose), std::string_view::npos);
    }
    GetConnectionInteger(S, Key, 0);
    StrToIntStrict(S, direct);
    StrToBoolean(S, directBoolean);

    // The alphabet cannot spell "provider", so nothing is ever created.
    TRef<ci::ICommunicationInterface> iface;
    ASSERT_FALSE(CreateCommunicationInterface(std::string(S), iface));
  }
}
