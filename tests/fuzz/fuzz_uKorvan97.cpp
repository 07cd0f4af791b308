// The frame functions on arbitrary bytes: none may fail other than as it
// promises, and what they say about a frame must agree.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "protocol/uKorvan97.h"

using namespace korvan;

namespace {
void Require(bool condition) {
  if (!condition) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  PacketChecksum(bytes);

  std::string buffer = bytes;
  const std::string frame = ExtractPacket(buffer, true);
  Require(frame.size() == CompletePacketLength(bytes));
  Require(bytes.compare(0, frame.size(), frame) == 0 && buffer == bytes.substr(frame.size()));
  if (frame.empty()) Require(buffer == bytes);

  const int check = CheckPacket(bytes);
  Require(check >= 0 && check <= 6);
  try {
    const TKorvanFormat97 p = ParsePacket(bytes);
    // A valid frame is exactly the frame its fields build.
    if (check == 0) Require(BuildPacket(p.ADR, p.SIG, p.code, p.data) == bytes);
  } catch (const EKorvanPacketError&) {
    Require(check != 0 || size < 9);
  }

  if (size >= 3 && size - 3 <= KorvanMaxData) {
    const std::string built = BuildPacket(data[0], data[1], data[2], bytes.substr(3));
    Require(CheckPacket(built) == 0 && CompletePacketLength(built) == built.size());
    const TKorvanFormat97 p = ParsePacket(built);
    Require(p.ADR == data[0] && p.SIG == data[1] && p.code == data[2] && p.data == bytes.substr(3));
  }
  return 0;
}
