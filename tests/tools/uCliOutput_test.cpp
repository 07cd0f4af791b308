// What duomat-cli prints of text that came from the line.
#include <gtest/gtest.h>

#include "tools/duomat-cli/uCliOutput.h"

TEST(CliPrintable, EscapesEveryControlAndStrayByteAndKeepsUtf8) {
  const std::pair<std::string, std::string> cases[] = {
      {"Ingra 4AI v1.2", "Ingra 4AI v1.2"}, {"Nastavení úspěšně", "Nastavení úspěšně"},
      {"\x1b]0;owned\x07", "\\x1b]0;owned\\x07"} /* a terminal title */, {"a\rb\nc\td", "a\\rb\\nc\\td"},
      {std::string("x\0y", 3), "x\\0y"}, {"\x7f", "\\x7f"}, {"\xc2\x9b" "2J", "\\u009b2J"} /* C1 CSI */,
      {"\x9b\xff\xc3", "\\x9b\\xff\\xc3"} /* not UTF-8, a cut sequence */, {"\xed\xa0\x80", "\\xed\\xa0\\x80"},
      {"\xe0\x80\xaf", "\\xe0\\x80\\xaf"} /* overlong */, {"C:\\x1b", "C:\\\\x1b"} /* no forged escape */};
  for (const auto& [in, out] : cases) EXPECT_EQ(duomat::cli::Printable(in), out);
}
