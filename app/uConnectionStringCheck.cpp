#include "app/uConnectionStringCheck.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <vector>

#include "comm/uci_ConnectionString.h"

namespace duomat {

namespace {

enum TForm { fText, fInteger, fBoolean, fParity, fStopBits };

struct TKeyRule {
  const char* Key;
  TForm Form;
  int32_t Min = 0, Max = 0;  // integers only
  const char* Meaning = "";
  bool Required = false;
};

struct TProviderRule {
  const char* Name;
  std::vector<TKeyRule> Keys;
};

// The keys each transport applies, with their forms; ranges are those the
// transports and the machine can honour (Linux has no four-bit characters,
// the scanner and the port map know COM1-COM255).
const std::vector<TKeyRule>& SerialKeys() {
  static const std::vector<TKeyRule> keys = {
      {"baudrate", fInteger, 1, 12000000, "bits per second"},
      {"databits", fInteger, 5, 8, "bits per character"},
      {"parity", fParity},
      {"stopbits", fStopBits},
      {"dtr", fBoolean},
      {"rts", fBoolean},
  };
  return keys;
}

std::vector<TKeyRule> With(std::vector<TKeyRule> keys, const std::vector<TKeyRule>& more) {
  keys.insert(keys.end(), more.begin(), more.end());
  return keys;
}

const std::vector<TProviderRule>& Providers() {
  static const std::vector<TKeyRule> socket = {
      {"host", fText, 0, 0, "a host name or address", true},
      {"port", fInteger, 1, 65535, "the remote port", true},
      {"LocalIP", fText},
      {"LocalPort", fInteger, 0, 65535, "the local port, 0 for any"},
  };
  static const std::vector<TProviderRule> providers = {
      {"SERIAL_PORT", With(SerialKeys(), {{"comport", fInteger, 1, 255, "the COM port number", true}})},
      {"TCP_CLIENT", With(socket, {{"ConnectionTimeout", fInteger, 1, 3600000, "milliseconds"},
                                   {"KeepAlive", fInteger, 0, 86400000, "milliseconds, 0 for off"}})},
      {"UDP_CLIENT", socket},
      {"FTD_USB", With({{"serial_number", fText, 0, 0, "the converter's serial number", true}}, SerialKeys())},
      {"HID", {{"vid", fInteger, 0, 65535, "the vendor ID, decimal or 0x hexadecimal", true},
               {"pid", fInteger, 0, 65535, "the product ID, decimal or 0x hexadecimal", true},
               {"serial_number", fText}}},
  };
  return providers;
}

std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return s;
}

bool IsKeyChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

std::string Takes(const TKeyRule& k) {
  const std::string key = k.Key;
  switch (k.Form) {
    case fInteger:
      return key + " takes a whole number from " + std::to_string(k.Min) + " to " + std::to_string(k.Max) + " (" +
             k.Meaning + ")";
    case fBoolean:
      return key + " takes 1 or 0 (also -1, True, False)";
    case fParity:
      return key + " takes None, Odd, Even, Mark or Space";
    case fStopBits:
      return key + " takes 1, 1.5 or 2 (also One, OneAndHalf, Two)";
    case fText:
      break;
  }
  return key + " takes " + k.Meaning;
}

bool Fits(const TKeyRule& k, const std::string& value) {
  int32_t n = 0;
  bool b = false;
  const std::string word = Upper(value);
  switch (k.Form) {
    case fInteger:
      return korvan::StrToIntStrict(value, n) && n >= k.Min && n <= k.Max;
    case fBoolean:
      return korvan::StrToBoolean(value, b);
    case fParity:
      return word == "NONE" || word == "ODD" || word == "EVEN" || word == "MARK" || word == "SPACE";
    case fStopBits:
      return word == "1" || word == "ONE" || word == "1.5" || word == "1,5" || word == "ONEANDHALF" || word == "2" ||
             word == "TWO";
    case fText:
      return !k.Required || !value.empty();
  }
  return false;
}

struct TItem {
  std::string Key, Raw, Value;
};

// Splits as the key reader reads: ";" ends a value outside parentheses, "\"
// escapes; a value in parentheses is taken without them and unescaped.
// Empty when fine, else the problem.
std::string Split(const std::string& s, std::vector<TItem>& items) {
  size_t p = 0;
  while (p < s.size()) {
    if (s[p] == ';') {
      ++p;
      continue;
    }
    TItem item;
    const size_t start = p;
    while (p < s.size() && IsKeyChar(s[p])) ++p;
    item.Key = s.substr(start, p - start);
    if (item.Key.empty() || p >= s.size() || s[p] != '=') {
      const size_t end = s.find(';', start);
      return "\"" + s.substr(start, end == std::string::npos ? end : end - start) + "\" is no key=value item";
    }
    const size_t from = ++p;
    int depth = 0;
    for (; p < s.size() && !(s[p] == ';' && depth <= 0); ++p) {
      if (s[p] == '(') ++depth;
      if (s[p] == ')') --depth;
      if (s[p] == '\\') ++p;
    }
    p = std::min(p, s.size());
    item.Raw = s.substr(from, p - from);
    if (depth != 0 || (!item.Raw.empty() && item.Raw[0] == '(' && item.Raw.back() != ')'))
      return item.Key + "=" + item.Raw + ": the parentheses of the value do not match";
    if (!item.Raw.empty() && item.Raw[0] == '(') {
      item.Value = item.Raw.substr(1, item.Raw.size() - 2);
    } else {
      for (size_t i = 0; i < item.Raw.size(); ++i) {
        if (item.Raw[i] == '\\' && ++i >= item.Raw.size()) break;
        item.Value += item.Raw[i];
      }
    }
    items.push_back(std::move(item));
  }
  return {};
}

std::string ProviderNames() {
  std::string names;
  const auto& providers = Providers();
  for (size_t i = 0; i < providers.size(); ++i)
    names += std::string(i == 0 ? "" : i + 1 == providers.size() ? " or " : ", ") + providers[i].Name;
  return names;
}

}  // namespace

std::string CheckConnectionString(const std::string& connection) {
  std::string s;
  for (char c : connection)
    if (c != ' ' && c != '\r' && c != '\n') s += c;
  std::vector<TItem> items;
  if (std::string problem = Split(s, items); !problem.empty()) return problem;

  const TProviderRule* provider = nullptr;
  for (const TItem& item : items) {
    if (item.Key != "provider") continue;
    for (const TProviderRule& p : Providers())
      if (item.Value == p.Name) provider = &p;
    if (!provider)
      return "provider=" + item.Value + ": provider takes " + ProviderNames() + " (letter case matters)";
    break;
  }
  if (!provider) return "provider is missing: the string must name one of " + ProviderNames();

  std::vector<std::string> seen;
  for (const TItem& item : items) {
    if (std::find(seen.begin(), seen.end(), item.Key) != seen.end()) return item.Key + " is given twice";
    seen.push_back(item.Key);
    if (item.Key == "provider") continue;
    const auto rule = std::find_if(provider->Keys.begin(), provider->Keys.end(),
                                   [&](const TKeyRule& k) { return item.Key == k.Key; });
    if (rule == provider->Keys.end()) {
      std::string keys;
      for (const TKeyRule& k : provider->Keys) keys += std::string(keys.empty() ? "" : ", ") + k.Key;
      return item.Key + "=" + item.Raw + ": " + provider->Name + " has no key " + item.Key + "; its keys are " + keys +
             " (letter case matters)";
    }
    if (!Fits(*rule, item.Value)) return item.Key + "=" + item.Raw + ": " + Takes(*rule);
  }
  for (const TKeyRule& k : provider->Keys)
    if (k.Required && std::find(seen.begin(), seen.end(), k.Key) == seen.end())
      return std::string(k.Key) + " is missing: " + provider->Name + " needs it; " + Takes(k);
  return {};
}

}  // namespace duomat
