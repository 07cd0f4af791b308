#include "core/uInputRules.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/uModuleSettings.h"
#include "core/uText.h"
#include "protocol/uKorvanStackDevice.h"

namespace duomat {

long ParseNumber(const std::string& text, const char* what, long lo, long hi) {
  char* end = nullptr;
  errno = 0;
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const long v = std::strtol(text.c_str(), &end, hex ? 16 : 10);
  // strtol would skip leading blanks; a number typed with them is not one.
  const bool blank = !text.empty() && std::isspace(static_cast<unsigned char>(text[0]));
  if (text.empty() || blank || *end != '\0' || errno != 0 || v < lo || v > hi)
    throw TInputError(Tr(DUOMAT_TR_EN("InputRules", "%1 must be a whole number from %2 to %3: %4"),
                         what, lo, hi, text));
  return v;
}

double ParseValue(const std::string& text, const char* what) {
  std::string t = text;
  for (char& c : t)
    if (c == ',') c = '.';
  char* end = nullptr;
  const double v = std::strtod(t.c_str(), &end);
  if (t.empty() || *end != '\0' || !std::isfinite(v))
    throw TInputError(Tr(DUOMAT_TR_EN("InputRules", "%1 is not a number: %2"), what, text));
  return v;
}

void CheckOutraValue(double v, int code, const char* what) {
  const TOutraLimits l = OutraRangeLimits(code);
  if (v < l.Minimum || v > l.Maximum) {
    const auto g = [](double n) {
      char text[32];
      std::snprintf(text, sizeof text, "%g", n);
      return std::string(text);
    };
    throw TInputError(
        Tr(DUOMAT_TR_EN("InputRules", "%1 must lie within the range %2, from %3 to %4: %5"), what,
           OutraRangeText(code), g(l.Minimum), g(l.Maximum), g(v)));
  }
}

std::string AddressText(int address) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", address & 0xFF);
  return text;
}

bool IsModuleRate(long rate) {
  return std::find(korvan::KorvanBaudTable.begin(), korvan::KorvanBaudTable.end(), rate) !=
         korvan::KorvanBaudTable.end();
}

std::vector<uint32_t> ParseRates(const std::string& text, const char* what) {
  std::vector<uint32_t> rates;
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "all") {
    for (int rate : korvan::KorvanBaudTable) rates.push_back(static_cast<uint32_t>(rate));
    return rates;
  }
  if (text.empty())
    throw TInputError(
        Tr(DUOMAT_TR_EN("InputRules", "%1 needs the rates to scan, R1,R2,... or all"), what));
  size_t start = 0;
  while (start <= text.size()) {
    const size_t comma = std::min(text.find(',', start), text.size());
    const long rate = ParseNumber(text.substr(start, comma - start), what, 1, 1000000000);
    if (!IsModuleRate(rate))
      throw TInputError(
          Tr(DUOMAT_TR_EN("InputRules", "%1 takes the modules' rates 110 ... 230400 or all: %2"),
             what, text));
    // A rate named twice is scanned once.
    if (std::find(rates.begin(), rates.end(), static_cast<uint32_t>(rate)) == rates.end())
      rates.push_back(static_cast<uint32_t>(rate));
    start = comma + 1;
  }
  return rates;
}

}  // namespace duomat
