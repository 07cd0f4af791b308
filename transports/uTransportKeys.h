#pragma once
// The shape of a transport's table of keys: each key's value form and range, for the strict check.
#include <cstdint>
#include <vector>

namespace korvan::transport {

// Integers and Booleans as the key reader converts them; the words are the
// serial line's parity and stop bits (ParseParityWord, ParseStopBitsWord).
enum class TValueForm { Text, Integer, Boolean, Parity, StopBits };

// One key a transport applies: its form, for integers the range the transport
// and the machine can honour, what it means (said when a value is refused),
// and whether a line cannot open without it.
struct TKeyRule {
  const char* Key;
  TValueForm Form;
  int32_t Min = 0, Max = 0;
  const char* Meaning = "";
  bool Required = false;
};

// A provider's keys in the order its transport applies them.
using TProviderKeys = std::vector<TKeyRule>;

inline TProviderKeys operator+(TProviderKeys keys, const TProviderKeys& more) {
  keys.insert(keys.end(), more.begin(), more.end());
  return keys;
}

}  // namespace korvan::transport
