// What duomat-cli prints of text that came from the line.
#include <gtest/gtest.h>

#include "tools/duomat-cli/uCliOutput.h"

using duomat::cli::Printable;

TEST(CliPrintable, EscapesEveryControlAndStrayByteAndKeepsUtf8) {
  const struct {
    std::string In, Out;
  } cases[] = {
      {"Ingra 4AI v1.2", "Ingra 4AI v1.2"},
      {"Nastavení úspěšně", "Nastavení úspěšně"},               // whole UTF-8 stays
      {"\x1b]0;owned\x07", "\\x1b]0;owned\\x07"},                // a terminal title
      {"a\rb\nc\td", "a\\rb\\nc\\td"},                           // a forged line
      {std::string("x\0y", 3), "x\\0y"},
      {"\x7f", "\\x7f"},
      {"\xc2\x9b" "2J", "\\u009b2J"},                             // C1 CSI in UTF-8
      {"\x9b\xff\xc3", "\\x9b\\xff\\xc3"},                        // not UTF-8, cut sequence
      {"\xed\xa0\x80", "\\xed\\xa0\\x80"},                        // a surrogate
      {"\xe0\x80\xaf", "\\xe0\\x80\\xaf"},                        // an overlong form
      {"C:\\x1b", "C:\\\\x1b"},                                   // a backslash cannot pass for an escape
  };
  for (const auto& c : cases) EXPECT_EQ(Printable(c.In), c.Out) << c.Out;
}
