#include "core/uModuleText.h"

#include <iconv.h>

#include <array>

namespace duomat {

namespace {
// The upper half of Windows-1250 in UTF-8, from the C library's converter.
const std::array<std::string, 128>& UpperHalf() {
  static const std::array<std::string, 128> table = [] {
    std::array<std::string, 128> t;
    t.fill("\xEF\xBF\xBD");
    const iconv_t cd = iconv_open("UTF-8", "WINDOWS-1250");
    if (cd == reinterpret_cast<iconv_t>(-1)) return t;
    for (size_t i = 0; i < t.size(); ++i) {
      char in = static_cast<char>(0x80 + i);
      char out[8];
      char* inp = &in;
      char* outp = out;
      size_t inLeft = 1, outLeft = sizeof out;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      if (iconv(cd, &inp, &inLeft, &outp, &outLeft) != static_cast<size_t>(-1) && inLeft == 0)
        t[i].assign(out, static_cast<size_t>(outp - out));
    }
    iconv_close(cd);
    return t;
  }();
  return table;
}
}  // namespace

bool IsValidUtf8(const std::string& text) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  for (size_t i = 0; i < text.size();) {
    const unsigned char b = byte(i);
    const size_t len = b < 0x80 ? 1 : b >= 0xc2 && b < 0xe0 ? 2 : b >= 0xe0 && b < 0xf0 ? 3 : b >= 0xf0 && b < 0xf5 ? 4 : 0;
    if (len == 0 || i + len > text.size()) return false;
    for (size_t k = 1; k < len; ++k)
      if ((byte(i + k) & 0xc0) != 0x80) return false;
    // Overlong forms, surrogates and code points above U+10FFFF.
    if ((b == 0xe0 && byte(i + 1) < 0xa0) || (b == 0xed && byte(i + 1) >= 0xa0) ||
        (b == 0xf0 && byte(i + 1) < 0x90) || (b == 0xf4 && byte(i + 1) >= 0x90))
      return false;
    i += len;
  }
  return true;
}

std::string ModuleText(const std::string& raw) {
  if (IsValidUtf8(raw)) return raw;
  std::string text;
  text.reserve(raw.size() * 2);
  for (const char c : raw) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80)
      text += c;
    else
      text += UpperHalf()[b - 0x80];
  }
  return text;
}

}  // namespace duomat
