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

// The one printer: every kind of value as its key=value line, and the same
// result as one JSON object with the values after ok and message.
TEST(CliPrint, EveryKindOfValueHasOneTextAndTheJsonKeepsItsShape) {
  duomat::TOutcome r{true, "done", nlohmann::ordered_json::object()};
  r.Values["module"] = "outra";  // the command line names it
  r.Values["identification"] = "Outra\x1b[2J";
  r.Values["codes"] = {5, 5};
  r.Values["range"] = nullptr;
  r.Values["new_address"] = 64;
  r.Values["verified"] = false;
  r.Values["baudrate"] = 9600;
  r.Values["watchdogs"] = {{{"enabled", true}, {"timeout", 60}, {"value", 12.0}, {"raw", 2048}}};
  testing::internal::CaptureStdout();
  duomat::cli::Print(r, false);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "done\nidentification=Outra\\x1b[2J\ncodes=5 5\nrange=\nnew_address=0x40\nverified=no\nbaudrate=9600\n"
            "watchdog1=on\ntimeout1=60\nvalue1=12.00\nraw1=2048\n");
  testing::internal::CaptureStdout();
  r.Values = {{"identification", "\xff"}};
  duomat::cli::Print(r, true);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "{\"ok\":true,\"message\":\"done\",\"identification\":\"\xef\xbf\xbd\"}\n");
  // A failure goes to standard error with its values.
  testing::internal::CaptureStderr();
  duomat::cli::Print(duomat::TOutcome{false, "failed", {{"reason", "no such device"}}}, false);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "failed\nreason=no such device\n");
}
