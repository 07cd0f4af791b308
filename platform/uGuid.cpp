#include "platform/uGuid.h"

#include <mutex>
#include <random>

namespace korvan {

namespace {
constexpr const char* kHex = "0123456789ABCDEF";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsDashPosition(size_t i) { return i == 9 || i == 14 || i == 19 || i == 24; }
}  // namespace

TGUID NewGuid() {
  // Straight from the system's entropy source: a generator seeded with one
  // 32-bit value could only ever make 2^32 different sequences.
  static std::mutex mutex;
  static std::random_device device;
  TGUID g{};
  {
    std::lock_guard<std::mutex> lock(mutex);
    for (size_t i = 0; i < g.size(); i += 4) {
      const uint32_t word = device();
      for (size_t k = 0; k < 4; ++k) g[i + k] = static_cast<uint8_t>(word >> (8 * k));
    }
  }
  g[6] = static_cast<uint8_t>((g[6] & 0x0F) | 0x40);  // version 4
  g[8] = static_cast<uint8_t>((g[8] & 0x3F) | 0x80);  // RFC 4122 variant
  return g;
}

std::string GuidToText(const TGUID& guid) {
  std::string s = "{";
  for (size_t i = 0; i < guid.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) s += '-';
    s += kHex[guid[i] >> 4];
    s += kHex[guid[i] & 0x0F];
  }
  s += '}';
  return s;
}

std::string NewGuidText() { return GuidToText(NewGuid()); }

bool IsGuidText(std::string_view text) {
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
  for (size_t i = 1; i < 37; ++i) {
    if (IsDashPosition(i)) {
      if (text[i] != '-') return false;
    } else if (HexValue(text[i]) < 0) {
      return false;
    }
  }
  return true;
}

TGUID GuidFromText(std::string_view text) {
  TGUID g{};
  if (!IsGuidText(text)) return g;
  size_t byte = 0;
  for (size_t i = 1; i < 37 && byte < g.size(); ++i) {
    if (IsDashPosition(i)) continue;
    g[byte] = static_cast<uint8_t>(HexValue(text[i]) << 4 | HexValue(text[i + 1]));
    ++byte;
    ++i;
  }
  return g;
}

}  // namespace korvan
