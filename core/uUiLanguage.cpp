#include "core/uUiLanguage.h"

#include <algorithm>
#include <cstdlib>

namespace duomat {

namespace {
// "en", "en_GB.UTF-8", "en@shaw": the part before territory, codeset and
// modifier names the language.
bool IsEnglish(const std::string& locale) {
  const std::string language = locale.substr(0, locale.find_first_of("_.@"));
  return language == "en";
}

bool Set(const char* value) {
  return value && *value;
}
}  // namespace

TUiLanguage DesktopUiLanguage(const char* language, const char* lcAll, const char* lcMessages,
                              const char* lang) {
  std::string locale;
  if (Set(language)) {
    const std::string list = language;
    // The first entry that names something; ":en" is still English.
    for (size_t start = 0; start <= list.size() && locale.empty();) {
      const size_t end = std::min(list.find(':', start), list.size());
      locale = list.substr(start, end - start);
      start = end + 1;
    }
  }
  for (const char* value : {lcAll, lcMessages, lang})
    if (locale.empty() && Set(value)) locale = value;
  return IsEnglish(locale) ? TUiLanguage::English : TUiLanguage::Czech;
}

TUiLanguage DesktopUiLanguage() {
  return DesktopUiLanguage(std::getenv("LANGUAGE"), std::getenv("LC_ALL"),
                           std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}

std::optional<TUiLanguage> UiLanguageNamed(const std::string& name) {
  if (name == "cs") return TUiLanguage::Czech;
  if (name == "en") return TUiLanguage::English;
  return std::nullopt;
}

}  // namespace duomat
