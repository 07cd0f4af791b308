#pragma once
// Text from a module as UTF-8: modules write UTF-8 or the Central European code page.
#include <string>

namespace duomat {

// The text itself when it is valid UTF-8, else each byte read as Windows-1250
// (a byte that code page leaves undefined becomes U+FFFD). The result is
// always valid UTF-8, so a JSON writer never refuses it.
std::string ModuleText(const std::string& raw);

bool IsValidUtf8(const std::string& text);

}  // namespace duomat
