#include "protocol/uIngra.h"

#include "protocol/uKorvan97INST.h"

namespace korvan {

namespace {
constexpr uint8_t kSetRanges = 0x1A;
constexpr uint8_t kGetRanges = 0x1B;
}  // namespace

bool TIngra::SetRanges(const TIngraRanges& ranges) {
  if (!EnableConfiguration()) return false;
  std::string data;
  for (int n = 0; n < 4; ++n) data += INSTItem(static_cast<uint8_t>(n + 1), ranges[n], 1);
  std::string answer;
  return RequestAck(kSetRanges, data, answer);
}

bool TIngra::GetRanges(TIngraRanges& ranges) {
  std::string data;
  if (!RequestAck(kGetRanges, "", data)) return false;
  if (data.size() != 8) return false;
  for (int n = 0; n < 4; ++n) {
    if (static_cast<uint8_t>(data[2 * n]) != n + 1) return false;
    ranges[n] = static_cast<uint8_t>(data[2 * n + 1]);
  }
  return true;
}

}  // namespace korvan
