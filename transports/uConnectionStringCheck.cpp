#include "transports/uConnectionStringCheck.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "comm/uci_ConnectionString.h"
#include "transports/serial/uCI_SerialPortInterface.h"
#include "transports/uTransports.h"

namespace korvan::transport {

namespace {

std::string Takes(const TKeyRule& k) {
  const std::string key = k.Key;
  switch (k.Form) {
    case TValueForm::Integer:
      return key + " takes a whole number from " + std::to_string(k.Min) + " to " + std::to_string(k.Max) + " (" +
             k.Meaning + ")";
    case TValueForm::Boolean:
      return key + " takes 1 or 0 (also -1, True, False)";
    case TValueForm::Parity:
      return key + " takes None, Odd, Even, Mark or Space";
    case TValueForm::StopBits:
      return key + " takes 1, 1.5 or 2 (also One, OneAndHalf, Two)";
    case TValueForm::Text:
      break;
  }
  return key + " takes " + k.Meaning;
}

// Read as the transports read them, and within the range besides.
bool Fits(const TKeyRule& k, const std::string& value) {
  int32_t n = 0;
  bool b = false;
  int code = 0;
  switch (k.Form) {
    case TValueForm::Integer:
      return StrToIntStrict(value, n) && n >= k.Min && n <= k.Max;
    case TValueForm::Boolean:
      return StrToBoolean(value, b);
    case TValueForm::Parity:
      return ParseParityWord(value, code);
    case TValueForm::StopBits:
      return ParseStopBitsWord(value, code);
    case TValueForm::Text:
      return !k.Required || !value.empty();
  }
  return false;
}

std::string ProviderNames() {
  std::string names;
  const auto transports = Transports();
  for (size_t i = 0; i < transports.size(); ++i)
    names += std::string(i == 0 ? "" : i + 1 == transports.size() ? " or " : ", ") + transports[i].Provider;
  return names;
}

const TTransportEntry* FindTransport(const std::string& provider) {
  for (const TTransportEntry& t : Transports())
    if (provider == t.Provider) return &t;
  return nullptr;
}

}  // namespace

std::string CheckConnectionString(const std::string& connection) {
  std::string s;
  for (char c : connection)
    if (c != ' ' && c != '\r' && c != '\n') s += c;
  const TConnectionItems parsed = ParseConnectionItems(s);
  switch (parsed.Fault) {
    case TConnectionItems::TFault::NotKeyValue:
      return "\"" + parsed.FaultText + "\" is no key=value item";
    case TConnectionItems::TFault::Parentheses:
      return parsed.FaultText + ": the parentheses of the value do not match";
    case TConnectionItems::TFault::None:
      break;
  }
  const std::vector<TConnectionItem>& items = parsed.Items;

  const TTransportEntry* provider = nullptr;
  for (const TConnectionItem& item : items) {
    if (item.Key != "provider") continue;
    provider = FindTransport(item.Value);
    if (!provider) return "provider=" + item.Value + ": provider takes " + ProviderNames() + " (letter case matters)";
    break;
  }
  if (!provider) return "provider is missing: the string must name one of " + ProviderNames();
  const TProviderKeys& keys = provider->KeyRules();

  std::vector<std::string> seen;
  for (const TConnectionItem& item : items) {
    if (std::find(seen.begin(), seen.end(), item.Key) != seen.end()) return item.Key + " is given twice";
    seen.push_back(item.Key);
    if (item.Key == "provider") continue;
    const auto rule = std::find_if(keys.begin(), keys.end(), [&](const TKeyRule& k) { return item.Key == k.Key; });
    if (rule == keys.end()) {
      std::string names;
      for (const TKeyRule& k : keys) names += std::string(names.empty() ? "" : ", ") + k.Key;
      return item.Key + "=" + item.Raw + ": " + provider->Provider + " has no key " + item.Key + "; its keys are " +
             names + " (letter case matters)";
    }
    if (!Fits(*rule, item.Value)) return item.Key + "=" + item.Raw + ": " + Takes(*rule);
  }
  for (const TKeyRule& k : keys)
    if (k.Required && std::find(seen.begin(), seen.end(), k.Key) == seen.end())
      return std::string(k.Key) + " is missing: " + provider->Provider + " needs it; " + Takes(k);
  return {};
}

}  // namespace korvan::transport
