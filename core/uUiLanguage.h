#pragma once
// The language of the windows: the desktop's, unless --lang says otherwise.
#include <optional>
#include <string>

namespace duomat {

// Czech is the texts' source, so it is also what every language without a
// translation gets.
enum class TUiLanguage { Czech, English };

// The desktop's user-interface language as the locale variables give it, in
// gettext's order: LANGUAGE (its first non-empty entry), LC_ALL, LC_MESSAGES, LANG; the
// first one set and non-empty decides. A null pointer is an unset variable.
TUiLanguage DesktopUiLanguage(const char* language, const char* lcAll, const char* lcMessages,
                              const char* lang);

// The same from this process's environment.
TUiLanguage DesktopUiLanguage();

// "cs" or "en", as --lang takes them; nothing for anything else.
std::optional<TUiLanguage> UiLanguageNamed(const std::string& name);

}  // namespace duomat
