#include "transports/hid/uHidReportDescriptor.h"

#include <algorithm>
#include <array>
#include <map>
#include <vector>

namespace korvan::transport {

namespace {
// Limits of the Linux HID core: anything above them is refused there too.
constexpr uint32_t kMaxReportSize = 256;        // bits per field
constexpr uint32_t kMaxReportCount = 12288;     // fields per main item
constexpr uint64_t kMaxReportBits = 16384 * 8;  // a whole report
constexpr size_t kMaxGlobalStack = 4;

enum : uint8_t { kTypeMain = 0, kTypeGlobal = 1, kTypeLocal = 2 };
enum : uint8_t { kMainInput = 8, kMainOutput = 9, kMainFeature = 11 };
enum : uint8_t { kGlobalReportSize = 7, kGlobalReportId = 8, kGlobalReportCount = 9, kGlobalPush = 10, kGlobalPop = 11 };

struct TGlobals {
  uint32_t ReportSize = 0;
  uint32_t ReportCount = 0;
  uint32_t ReportId = 0;
};

uint32_t ItemValue(const uint8_t* p, size_t n) {
  uint32_t v = 0;
  for (size_t i = 0; i < n; ++i) v |= static_cast<uint32_t>(p[i]) << (8 * i);
  return v;
}

int LengthOf(const std::map<uint32_t, uint64_t>& bits) {
  uint64_t most = 0;
  for (const auto& [id, b] : bits) most = std::max(most, b);
  // The report-ID byte counts as on the other platform: always one byte.
  return most == 0 ? 0 : static_cast<int>((most + 7) / 8 + 1);
}
}  // namespace

THidReportLengths ParseHidReportDescriptor(const uint8_t* data, size_t size) {
  THidReportLengths result;
  TGlobals globals;
  std::vector<TGlobals> stack;
  std::array<std::map<uint32_t, uint64_t>, 3> bits;  // input, output, feature: bits per report ID

  size_t pos = 0;
  while (pos < size) {
    const uint8_t prefix = data[pos];
    if (prefix == 0xFE) {
      // Long item: size and tag bytes follow; no long items are defined.
      if (size - pos < 3) return {};
      const size_t n = data[pos + 1];
      if (size - pos - 3 < n) return {};
      pos += 3 + n;
      continue;
    }
    const size_t n = (prefix & 3) == 3 ? 4 : (prefix & 3);
    if (size - pos - 1 < n) return {};
    const uint8_t type = (prefix >> 2) & 3;
    const uint8_t tag = prefix >> 4;
    const uint32_t value = ItemValue(data + pos + 1, n);
    pos += 1 + n;

    if (type == kTypeGlobal) {
      switch (tag) {
        case kGlobalReportSize:
          if (value > kMaxReportSize) return {};
          globals.ReportSize = value;
          break;
        case kGlobalReportCount:
          if (value > kMaxReportCount) return {};
          globals.ReportCount = value;
          break;
        case kGlobalReportId:
          if (value == 0 || value > 255) return {};
          globals.ReportId = value;
          result.UsesReportIds = true;
          break;
        case kGlobalPush:
          if (stack.size() >= kMaxGlobalStack) return {};
          stack.push_back(globals);
          break;
        case kGlobalPop:
          if (stack.empty()) return {};
          globals = stack.back();
          stack.pop_back();
          break;
        default:
          break;
      }
    } else if (type == kTypeMain && (tag == kMainInput || tag == kMainOutput || tag == kMainFeature)) {
      const int kind = tag == kMainInput ? 0 : tag == kMainOutput ? 1 : 2;
      uint64_t& total = bits[kind][globals.ReportId];
      total += static_cast<uint64_t>(globals.ReportSize) * globals.ReportCount;
      if (total > kMaxReportBits) return {};
    }
  }
  result.Valid = true;
  result.InputReportLength = LengthOf(bits[0]);
  result.OutputReportLength = LengthOf(bits[1]);
  result.FeatureReportLength = LengthOf(bits[2]);
  return result;
}

}  // namespace korvan::transport
