#include "protocol/uKorvan97.h"

#include <gtest/gtest.h>

#include <random>

using namespace korvan;

namespace {
std::string Hex(std::string_view bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string s;
  for (unsigned char c : bytes) {
    if (!s.empty()) s += ' ';
    s += digits[c >> 4];
    s += digits[c & 15];
  }
  return s;
}
std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}
}  // namespace

TEST(uKorvan97, BuildsTheIdentificationRequestOfTheWorkedExample) {
  EXPECT_EQ(Hex(BuildPacket(0x31, 0x01, 0xF3, "")), "2A 61 00 05 31 01 F3 4A 0D");
}

TEST(uKorvan97, BuildsAFrameWithDataOfTheWorkedExample) {
  const std::string frame = BuildPacket(0x31, 0x01, 0x00, Bytes({1, 0, 2, 0, 3, 0, 4, 0}));
  EXPECT_EQ(Hex(frame), "2A 61 00 0D 31 01 00 01 00 02 00 03 00 04 00 2B 0D");
  EXPECT_EQ(CheckPacket(frame), 0);
  const TKorvanFormat97 p = ParsePacket(frame);
  EXPECT_EQ(p.length, 0x0D);
  EXPECT_EQ(p.ADR, 0x31);
  EXPECT_EQ(p.SIG, 1);
  EXPECT_EQ(p.code, 0);
  EXPECT_EQ(p.data, Bytes({1, 0, 2, 0, 3, 0, 4, 0}));
  EXPECT_EQ(p.checksum, 0x2B);
  EXPECT_EQ(p.terminator, 0x0D);
}
