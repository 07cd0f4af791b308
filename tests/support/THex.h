#pragma once
// Byte strings in tests: written as numbers, shown as hexadecimal.
#include <initializer_list>
#include <sstream>
#include <string>
#include <string_view>

namespace korvan::test {

// "2A 61 00 05": upper-case pairs, one blank between bytes.
inline std::string Hex(std::string_view bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string s;
  for (unsigned char c : bytes) {
    if (!s.empty()) s += ' ';
    s += digits[c >> 4];
    s += digits[c & 15];
  }
  return s;
}

inline std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

// The bytes of Hex's form.
inline std::string BytesOfHex(const std::string& hex) {
  std::string bytes;
  std::istringstream in(hex);
  std::string pair;
  while (in >> pair) bytes += static_cast<char>(std::stoi(pair, nullptr, 16));
  return bytes;
}

}  // namespace korvan::test
