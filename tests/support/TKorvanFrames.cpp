#include "support/TKorvanFrames.h"

#include <gtest/gtest.h>

#include "support/THex.h"

namespace korvan::test {

std::vector<TKorvanFormat97> ValidFrames(std::string bytes) {
  std::vector<TKorvanFormat97> frames;
  while (!bytes.empty()) {
    const std::string frame = ExtractPacket(bytes, true);
    if (frame.empty() || CheckPacket(frame) != 0) {
      ADD_FAILURE() << "not a valid frame: " << Hex(bytes);
      break;
    }
    frames.push_back(ParsePacket(frame));
  }
  return frames;
}

std::vector<TKorvanFormat97> Requests(TTestLine& line) { return ValidFrames(line.WrittenBytes()); }

}  // namespace korvan::test
