#include "transports/uConnectionStringCheck.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "comm/uci_ConnectionString.h"
#include "platform/uText.h"
#include "transports/serial/uCI_SerialPortInterface.h"
#include "transports/uTransports.h"

namespace korvan::transport {

namespace {

// The context of the texts here and of the keys' meanings in the transports' tables.
constexpr const char* kContext = "ConnectionString";

std::string Takes(const TKeyRule& k) {
  const std::string key = k.Key;
  const std::string meaning = Tr(kContext, k.Meaning);
  switch (k.Form) {
    case TValueForm::Integer:
      return Tr(DUOMAT_TR_EN("ConnectionString", "%1 takes a whole number from %2 to %3 (%4)"), key, k.Min, k.Max,
                meaning);
    case TValueForm::Boolean:
      return Tr(DUOMAT_TR_EN("ConnectionString", "%1 takes 1 or 0 (also -1, True, False)"), key);
    case TValueForm::Parity:
      return Tr(DUOMAT_TR_EN("ConnectionString", "%1 takes None, Odd, Even, Mark or Space"), key);
    case TValueForm::StopBits:
      return Tr(DUOMAT_TR_EN("ConnectionString", "%1 takes 1, 1.5 or 2 (also One, OneAndHalf, Two)"), key);
    case TValueForm::Text:
      break;
  }
  return Tr(DUOMAT_TR_EN("ConnectionString", "%1 takes %2"), key, meaning);
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
    names += (i == 0 ? std::string() : i + 1 == transports.size() ? Tr(DUOMAT_TR_EN("ConnectionString", " or ")) : ", ") +
             transports[i].Provider;
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
      return Tr(DUOMAT_TR_EN("ConnectionString", "\"%1\" is no key=value item"), parsed.FaultText);
    case TConnectionItems::TFault::Parentheses:
      return Tr(DUOMAT_TR_EN("ConnectionString", "%1: the parentheses of the value do not match"), parsed.FaultText);
    case TConnectionItems::TFault::None:
      break;
  }
  const std::vector<TConnectionItem>& items = parsed.Items;

  const TTransportEntry* provider = nullptr;
  for (const TConnectionItem& item : items) {
    if (item.Key != "provider") continue;
    provider = FindTransport(item.Value);
    if (!provider)
      return Tr(DUOMAT_TR_EN("ConnectionString", "provider=%1: provider takes %2 (letter case matters)"), item.Value,
                ProviderNames());
    break;
  }
  if (!provider)
    return Tr(DUOMAT_TR_EN("ConnectionString", "provider is missing: the string must name one of %1"), ProviderNames());
  const TProviderKeys& keys = provider->KeyRules();

  std::vector<std::string> seen;
  for (const TConnectionItem& item : items) {
    if (std::find(seen.begin(), seen.end(), item.Key) != seen.end()) return Tr(DUOMAT_TR_EN("ConnectionString", "%1 is given twice"), item.Key);
    seen.push_back(item.Key);
    if (item.Key == "provider") continue;
    const auto rule = std::find_if(keys.begin(), keys.end(), [&](const TKeyRule& k) { return item.Key == k.Key; });
    if (rule == keys.end()) {
      std::string names;
      for (const TKeyRule& k : keys) names += std::string(names.empty() ? "" : ", ") + k.Key;
      return Tr(DUOMAT_TR_EN("ConnectionString", "%1=%2: %3 has no key %1; its keys are %4 (letter case matters)"),
                item.Key, item.Raw, provider->Provider, names);
    }
    if (!Fits(*rule, item.Value)) return item.Key + "=" + item.Raw + ": " + Takes(*rule);
  }
  for (const TKeyRule& k : keys)
    if (k.Required && std::find(seen.begin(), seen.end(), k.Key) == seen.end())
      return Tr(DUOMAT_TR_EN("ConnectionString", "%1 is missing: %2 needs it; %3"), k.Key, provider->Provider, Takes(k));
  return {};
}

}  // namespace korvan::transport
