#include "protocol/uOutra.h"

#include "protocol/uKorvan97INST.h"

namespace korvan {

namespace {
constexpr uint8_t kSetOutputsRaw = 0x40;
constexpr uint8_t kGetOutputsRaw = 0x41;
constexpr uint8_t kSetOutputs = 0x42;
constexpr uint8_t kGetOutputs = 0x43;
constexpr uint8_t kSetRange = 0xC0;
constexpr uint8_t kGetRanges = 0xC1;
constexpr uint8_t kSetWatchDogTimeouts = 0xC2;
constexpr uint8_t kGetWatchDogTimeouts = 0xC3;
constexpr uint8_t kSetWatchDogValue = 0xC4;
constexpr uint8_t kGetWatchDogValues = 0xC5;

bool InRange(int v, int lo, int hi) { return v >= lo && v <= hi; }
bool IsRangeCode(int code) { return InRange(code, OutraMinRange, OutraMaxRange); }

// Items for the given outputs (value -1 leaves an output out).
std::string TwoItems(int value1, int value2, int width) {
  std::string data;
  if (value1 != -1) data += INSTItem(1, static_cast<uint32_t>(value1), width);
  if (value2 != -1) data += INSTItem(2, static_cast<uint32_t>(value2), width);
  return data;
}

// Two items of `width` value bytes; the tag bytes are not checked.
bool ReadTwo(const std::string& data, int width, int& value1, int& value2) {
  if (data.size() != 2 * static_cast<size_t>(width + 1)) return false;
  uint32_t a = 0, b = 0;
  INSTItemValue(data, 0, width, a);
  INSTItemValue(data, width + 1, width, b);
  value1 = static_cast<int>(a);
  value2 = static_cast<int>(b);
  return true;
}
}  // namespace

bool TOutra::SetOutputs(int value1, int value2, bool raw) {
  const int max = raw ? OutraMaxRawValue : OutraMaxValue;
  if (!InRange(value1, -1, max) || !InRange(value2, -1, max)) return false;
  std::string answer;
  return RequestAck(raw ? kSetOutputsRaw : kSetOutputs, TwoItems(value1, value2, 2), answer);
}

bool TOutra::GetOutputs(int& value1, int& value2, bool raw) {
  std::string data;
  return RequestAck(raw ? kGetOutputsRaw : kGetOutputs, "", data) && ReadTwo(data, 2, value1, value2);
}

bool TOutra::SetRange(int output, int code) {
  if (!InRange(output, 1, 2) || !IsRangeCode(code)) return false;
  std::string answer;
  return RequestAck(kSetRange, INSTItem(static_cast<uint8_t>(output), static_cast<uint32_t>(code), 1), answer);
}

bool TOutra::SetRanges(int code1, int code2) {
  if (!IsRangeCode(code1) || !IsRangeCode(code2)) return false;
  std::string answer;
  return RequestAck(kSetRange, TwoItems(code1, code2, 1), answer);
}

bool TOutra::GetRanges(uint8_t& code1, uint8_t& code2) {
  std::string data;
  int a = 0, b = 0;
  if (!RequestAck(kGetRanges, "", data) || !ReadTwo(data, 1, a, b)) return false;
  code1 = static_cast<uint8_t>(a);
  code2 = static_cast<uint8_t>(b);
  return true;
}

bool TOutra::SetWatchDogTimeouts(int timeout1, int timeout2) {
  if (!InRange(timeout1, -1, OutraMaxWatchDogTimeout) || !InRange(timeout2, -1, OutraMaxWatchDogTimeout))
    return false;
  std::string answer;
  return RequestAck(kSetWatchDogTimeouts, TwoItems(timeout1, timeout2, 3), answer);
}

bool TOutra::GetWatchDogTimeouts(int& timeout1, int& timeout2) {
  std::string data;
  return RequestAck(kGetWatchDogTimeouts, "", data) && ReadTwo(data, 3, timeout1, timeout2);
}

bool TOutra::SetWatchDogValue(int output, int value) {
  if (!InRange(output, 1, 2) || !InRange(value, 0, OutraMaxRawValue)) return false;
  std::string answer;
  return RequestAck(kSetWatchDogValue, INSTItem(static_cast<uint8_t>(output), static_cast<uint32_t>(value), 2),
                    answer);
}

bool TOutra::SetWatchDogValues(int value1, int value2) {
  if (value1 != -1 && !SetWatchDogValue(1, value1)) return false;
  if (value2 != -1) return SetWatchDogValue(2, value2);
  return true;
}

bool TOutra::GetWatchDogValues(int& value1, int& value2) {
  std::string data;
  return RequestAck(kGetWatchDogValues, "", data) && ReadTwo(data, 2, value1, value2);
}

}  // namespace korvan
