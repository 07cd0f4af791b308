#include "core/uUiLanguage.h"

#include <gtest/gtest.h>

using namespace duomat;

namespace {
constexpr TUiLanguage cs = TUiLanguage::Czech, en = TUiLanguage::English;

struct TLocaleCase {
  const char* What;
  const char *Language, *LcAll, *LcMessages, *Lang;  // nullptr: unset
  TUiLanguage Expected;
};
}  // namespace

TEST(UiLanguage, TheFirstLocaleVariableSetDecidesAndOnlyEnglishLeavesCzech) {
  const TLocaleCase cases[] = {
      {"nothing set", nullptr, nullptr, nullptr, nullptr, cs},
      {"English desktop", nullptr, nullptr, nullptr, "en_GB.UTF-8", en},
      {"bare language", nullptr, nullptr, nullptr, "en", en},
      {"with a modifier", nullptr, nullptr, nullptr, "en@shaw", en},
      {"Czech desktop", nullptr, nullptr, nullptr, "cs_CZ.UTF-8", cs},
      {"another language", nullptr, nullptr, nullptr, "de_DE.UTF-8", cs},
      {"C locale", nullptr, nullptr, nullptr, "C", cs},
      {"POSIX locale", nullptr, nullptr, nullptr, "POSIX", cs},
      {"C.UTF-8 is no English", nullptr, nullptr, nullptr, "C.UTF-8", cs},
      {"a language that only starts like English", nullptr, nullptr, nullptr, "eng_XX", cs},
      {"LC_MESSAGES before LANG", nullptr, nullptr, "cs_CZ.UTF-8", "en_US.UTF-8", cs},
      {"LC_ALL before LC_MESSAGES", nullptr, "en_US.UTF-8", "cs_CZ.UTF-8", "cs_CZ.UTF-8", en},
      {"LANGUAGE before all", "en_GB:cs", "cs_CZ.UTF-8", nullptr, "cs_CZ.UTF-8", en},
      {"LANGUAGE's first entry only", "de:en", nullptr, nullptr, "en_GB.UTF-8", cs},
      {"an empty entry is skipped", ":en_GB", nullptr, nullptr, nullptr, en},
      {"an empty variable counts as unset", "", "", "", "en_US.UTF-8", en},
      {"LANGUAGE of colons only counts as unset", ":", nullptr, nullptr, "en_US.UTF-8", en},
  };
  for (const TLocaleCase& c : cases) {
    SCOPED_TRACE(c.What);
    EXPECT_EQ(DesktopUiLanguage(c.Language, c.LcAll, c.LcMessages, c.Lang), c.Expected);
  }
}

TEST(UiLanguage, TheSwitchTakesExactlyCsOrEn) {
  EXPECT_EQ(UiLanguageNamed("cs"), cs);
  EXPECT_EQ(UiLanguageNamed("en"), en);
  for (const char* other : {"", "EN", "de", "en_GB", "czech", " en"}) {
    SCOPED_TRACE(other);
    EXPECT_FALSE(UiLanguageNamed(other).has_value());
  }
}
