#include "core/uScanFields.h"

#include <algorithm>
#include <cctype>

#include "core/uInputRules.h"
#include "core/uModuleLine.h"

namespace duomat {

namespace {
std::string Trimmed(const std::string& text) {
  const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
  const auto first = std::find_if_not(text.begin(), text.end(), blank);
  const auto last = std::find_if_not(text.rbegin(), text.rend(), blank).base();
  return first < last ? std::string(first, last) : std::string();
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}
}  // namespace

int ParseHexAddress(const std::string& text) {
  const std::string t = Trimmed(text);
  if (t.empty() || t.size() > 2 || !std::all_of(t.begin(), t.end(), [](unsigned char c) { return std::isxdigit(c); }))
    return -1;
  const int address = std::stoi(t, nullptr, 16);
  return address <= LastModuleAddress ? address : -1;
}

TScanFieldError ScanRequestOf(const TScanFields& fields, bool lineHasRate, TScanRequest& request) {
  const int from = ParseHexAddress(fields.From), to = ParseHexAddress(fields.To);
  if (from < 0) return TScanFieldError::From;
  if (to < 0) return TScanFieldError::To;
  if (from > to) return TScanFieldError::Order;
  TScanRequest made;
  made.From = from;
  made.To = to;
  made.Quick = fields.Quick;
  if (lineHasRate && (fields.AllRates || !Trimmed(fields.Rates).empty())) {
    try {
      made.Rates = ParseRates(fields.AllRates ? "all" : Trimmed(fields.Rates), "rates");
    } catch (const TInputError&) {
      return TScanFieldError::Rates;
    }
  }
  request = made;
  return TScanFieldError::None;
}

std::string ConnectionAtRate(const std::string& connection, uint32_t rate) {
  if (rate == 0 || !ConnectionHasRate(connection)) return connection;
  const std::string value = std::to_string(rate);
  std::string out;
  bool replaced = false;
  size_t start = 0;
  while (start <= connection.size()) {
    size_t end = connection.find(';', start);
    if (end == std::string::npos) end = connection.size();
    std::string item = connection.substr(start, end - start);
    const size_t eq = item.find('=');
    if (eq != std::string::npos && Lower(Trimmed(item.substr(0, eq))) == "baudrate") {
      item = item.substr(0, eq + 1) + value;
      replaced = true;
    }
    if (!item.empty()) out += (out.empty() ? "" : ";") + item;
    start = end + 1;
  }
  if (!replaced) out += (out.empty() ? "" : ";") + std::string("baudrate=") + value;
  return out;
}

}  // namespace duomat
