#include "comm/uci_ConnectionString.h"

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "comm/uci_ICommunicationInterface.h"

namespace korvan {

namespace {

// ASCII only: the strings are byte strings, and upper-casing must keep every
// byte where it is because the loose reader maps positions back.
char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameTextAscii(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiUpper(x) == AsciiUpper(y); });
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool IsKeyChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// Positions never go beyond S.size(): every "past the end" is the same there,
// and a step from the end stays at the end.
size_t Step(std::string_view S, size_t p) { return p < S.size() ? p + 1 : S.size(); }

size_t SkipBlanks(std::string_view S, size_t p) {
  while (p < S.size() && IsBlank(S[p])) ++p;
  return p;
}

size_t SkipIdentifier(std::string_view S, size_t p) {
  while (p < S.size() && IsKeyChar(S[p])) ++p;
  return p;
}

// Scans a raw value from p and leaves p at its stop (the ";" or the end),
// also when the value fails, so a search for a later key resumes from there.
bool ReadRawValue(std::string_view S, size_t& p, std::string_view& Raw) {
  Raw = {};
  if (p >= S.size()) return false;
  const size_t start = p;
  std::ptrdiff_t depth = 0;
  while (p < S.size()) {
    const char c = S[p];
    if (c == ';' && depth <= 0) break;
    if (c == '(') {
      ++depth;
    } else if (c == ')') {
      --depth;
    } else if (c == '\\') {
      p = Step(S, p);  // the escaped character, if there is one
    }
    p = Step(S, p);
  }
  if (depth != 0) return false;
  Raw = S.substr(start, p - start);
  return true;
}

bool DecodeValue(std::string_view Raw, std::string& Value) {
  if (!Raw.empty() && Raw.front() == '(') {
    if (Raw.size() < 2 || Raw.back() != ')') return false;
    Value.assign(Raw.substr(1, Raw.size() - 2));
    return true;
  }
  Value.clear();
  Value.reserve(Raw.size());
  for (size_t i = 0; i < Raw.size(); ++i) {
    if (Raw[i] == '\\') {
      if (++i == Raw.size()) break;  // a final lone backslash escapes nothing
    }
    Value += Raw[i];
  }
  return true;
}

// The position of the first item whose identifier is Key, or npos. An item
// whose identifier ends at the last character (or later) counts as absent.
size_t FindKey(std::string_view S, std::string_view Key) {
  size_t p = SkipBlanks(S, 0);
  size_t itemStart = p;
  p = SkipIdentifier(S, p);
  while (p + 1 < S.size() && S.substr(itemStart, p - itemStart) != Key) {
    p = SkipBlanks(S, p);
    p = Step(S, p);  // the "="
    std::string_view ignored;
    ReadRawValue(S, p, ignored);
    p = Step(S, p);  // the ";"
    p = SkipBlanks(S, p);
    itemStart = p;
    p = SkipIdentifier(S, p);
  }
  return p + 1 < S.size() ? itemStart : std::string_view::npos;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  const char u = AsciiUpper(c);
  if (u >= 'A' && u <= 'F') return u - 'A' + 10;
  return -1;
}

}  // namespace

bool StrToIntStrict(std::string_view text, int32_t& value) {
  value = 0;
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) return false;
  const int64_t limit = negative ? int64_t{INT32_MAX} + 1 : int64_t{INT32_MAX};
  int64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const int digit = HexDigit(text[i]);
    if (digit < 0 || digit >= base) return false;
    magnitude = magnitude * base + digit;
    if (magnitude > limit) return false;  // checked per digit, so it cannot overflow
  }
  value = static_cast<int32_t>(negative ? -magnitude : magnitude);
  return true;
}

bool StrToBoolean(std::string_view text, bool& value) {
  value = false;
  if (SameTextAscii(text, "True")) {
    value = true;
    return true;
  }
  if (SameTextAscii(text, "False")) return true;

  // Parsed by hand: only zero or not matters, and the C library's parser
  // would follow the locale's decimal separator and accept "inf" or hex.
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  bool nonZero = false;
  auto mantissaDigits = [&] {
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) nonZero = nonZero || text[i] != '0';
  };
  mantissaDigits();
  if (i < text.size() && text[i] == '.') {
    ++i;
    mantissaDigits();
  }
  if (digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    const size_t exponentStart = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    if (i == exponentStart) return false;
  }
  if (i != text.size()) return false;
  value = nonZero;
  return true;
}

std::string BooleanToStr(bool value) { return value ? "-1" : "0"; }

bool GetConfigurationValue(std::string_view S, std::string_view Key, std::string& Value) {
  // Value is written only at the end: S may view its buffer.
  std::string decoded;
  std::string_view raw;
  const size_t itemStart = FindKey(S, Key);
  bool found = false;
  if (itemStart != std::string_view::npos) {
    size_t p = SkipBlanks(S, itemStart + Key.size());
    p = Step(S, p);  // the "=", whatever stands there
    found = ReadRawValue(S, p, raw) && DecodeValue(raw, decoded);
  }
  if (!found) decoded.clear();
  Value = std::move(decoded);
  return found;
}

bool GetConfigurationInteger(std::string_view S, std::string_view Key, int32_t& Value) {
  Value = 0;
  std::string text;
  return GetConfigurationValue(S, Key, text) && StrToIntStrict(text, Value);
}

bool GetConfigurationBoolean(std::string_view S, std::string_view Key, bool& Value) {
  Value = false;
  std::string text;
  return GetConfigurationValue(S, Key, text) && StrToBoolean(text, Value);
}

TConnectionItems ParseConnectionItems(std::string_view S) {
  TConnectionItems parsed;
  size_t p = 0;
  while (p < S.size()) {
    if (S[p] == ';') {
      ++p;
      continue;
    }
    const size_t start = p;
    p = SkipIdentifier(S, p);
    TConnectionItem item;
    item.Key.assign(S.substr(start, p - start));
    if (item.Key.empty() || p >= S.size() || S[p] != '=') {
      const size_t end = S.find(';', start);
      parsed.Fault = TConnectionItems::TFault::NotKeyValue;
      parsed.FaultText.assign(S.substr(start, end == std::string_view::npos ? end : end - start));
      return parsed;
    }
    const size_t from = ++p;  // after the "="
    std::string_view raw;     // an "=" at the very end is an empty value here
    const bool read = p >= S.size() || ReadRawValue(S, p, raw);
    if (!read || !DecodeValue(raw, item.Value)) {
      parsed.Fault = TConnectionItems::TFault::Parentheses;
      parsed.FaultText = item.Key + "=" + std::string(S.substr(from, p - from));
      return parsed;
    }
    item.Raw.assign(raw);
    parsed.Items.push_back(std::move(item));
  }
  return parsed;
}

std::string GetConnectionValue(std::string_view S, std::string_view Key, std::string_view Default) {
  std::string upperS(S);
  std::string pattern(Key);
  pattern += '=';
  std::transform(upperS.begin(), upperS.end(), upperS.begin(), AsciiUpper);
  std::transform(pattern.begin(), pattern.end(), pattern.begin(), AsciiUpper);
  const size_t found = upperS.find(pattern);
  if (found == std::string::npos) return std::string(Default);
  const std::string_view rest = S.substr(found + pattern.size());
  return std::string(rest.substr(0, rest.find(';')));
}

int32_t GetConnectionInteger(std::string_view S, std::string_view Key, int32_t Default) {
  int32_t value = 0;
  return StrToIntStrict(GetConnectionValue(S, Key, ""), value) ? value : Default;
}

std::string ItemsToLines(std::string_view S) {
  std::string lines;
  lines.reserve(S.size());
  for (char c : S) {
    if (c == '\r' || c == '\n' || c == ' ') continue;
    lines += c == ';' ? '\r' : c;
  }
  return lines;
}

std::string LinesToItems(std::string_view S) {
  std::string items(S);
  std::replace(items.begin(), items.end(), '\r', ';');
  return items;
}

bool CreateCommunicationInterface(const std::string& ConnectionString, TRef<ci::ICommunicationInterface>& Interface) {
  Interface = nullptr;

  const std::string lines = ItemsToLines(ConnectionString);

  // The first line whose name (the text before its first "=") is "provider".
  std::string provider;
  for (size_t start = 0; start <= lines.size();) {
    size_t end = lines.find('\r', start);
    if (end == std::string::npos) end = lines.size();
    const std::string_view line = std::string_view(lines).substr(start, end - start);
    const size_t equals = line.find('=');
    if (equals != std::string_view::npos && SameTextAscii(line.substr(0, equals), "provider")) {
      provider.assign(line.substr(equals + 1));
      break;
    }
    start = end + 1;
  }

  const TCommunicationInterfaceClass* Class = nullptr;
  if (!FindProvider(provider, Class)) return false;
  Interface = Class->Create(lines);
  return static_cast<bool>(Interface);
}

}  // namespace korvan
