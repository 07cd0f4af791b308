#include "protocol/uKorvan97.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <vector>

#include "support/THex.h"

using namespace korvan;
using korvan::test::Bytes;
using korvan::test::Hex;

namespace {
// The 8-bit sum of the bytes, computed apart from the code under test.
uint8_t Sum(std::string_view bytes) {
  return static_cast<uint8_t>(std::accumulate(bytes.begin(), bytes.end(), 0u,
                                              [](unsigned a, char c) { return a + static_cast<uint8_t>(c); }));
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

TEST(uKorvan97, ChecksumComplementsTheByteSumIncludingZeroAndHighBytes) {
  EXPECT_EQ(PacketChecksum(""), 0xFF);
  EXPECT_EQ(PacketChecksum(Bytes({0xFF})), 0x00);
  EXPECT_EQ(PacketChecksum(Bytes({0x80, 0x80})), 0xFF);  // the carry is dropped
  EXPECT_EQ(PacketChecksum(Bytes({0, 0, 1})), 0xFE);
}

TEST(uKorvan97, FrameWithoutDataIsNineBytesWithLengthFive) {
  const std::string frame = BuildPacket(0xFE, 0xAB, 0x0C, "");
  ASSERT_EQ(frame.size(), 9u);
  EXPECT_EQ(frame[2], 0);
  EXPECT_EQ(frame[3], 5);
  EXPECT_EQ(CheckPacket(frame), 0);
  const TKorvanFormat97 p = ParsePacket(frame);
  EXPECT_EQ(p.prefix, 0x2A);
  EXPECT_EQ(p.format, 0x61);
  EXPECT_EQ(p.ADR, 0xFE);
  EXPECT_EQ(p.SIG, 0xAB);
  EXPECT_EQ(p.code, 0x0C);
  EXPECT_TRUE(p.data.empty());
}

TEST(uKorvan97, LengthFieldCarriesTheLargestDataAndWrapsBeyondIt) {
  const std::string largest(KorvanMaxData, '\x5A');
  const std::string frame = BuildPacket(0x31, 2, 3, largest);
  EXPECT_EQ(frame.size(), 65535u + 4u);
  EXPECT_EQ(Hex(frame.substr(2, 2)), "FF FF");
  EXPECT_EQ(CheckPacket(frame), 0);
  EXPECT_EQ(ParsePacket(frame).data, largest);

  // One byte more no longer fits the 16-bit field: it is kept to 16 bits and
  // the frame fails the length test.
  const std::string tooLong = BuildPacket(0x31, 2, 3, std::string(KorvanMaxData + 1, '\x5A'));
  EXPECT_EQ(Hex(tooLong.substr(2, 2)), "00 00");
  EXPECT_EQ(CheckPacket(tooLong), 4);
}

// Each broken frame also fails every later test, so the code shows which
// test ran first.
TEST(uKorvan97, CheckPacketReportsTheFirstFailingTestInItsOrder) {
  const std::string good = BuildPacket(0x31, 0x07, 0x1B, Bytes({1, 2, 3}));
  ASSERT_EQ(CheckPacket(good), 0);

  std::string allWrong = good;
  allWrong[0] = 'X';
  allWrong[1] = 'Y';
  allWrong[3] = 0x40;
  allWrong[allWrong.size() - 2] ^= 0x55;
  allWrong.back() = 0x0A;
  EXPECT_EQ(CheckPacket(allWrong.substr(0, 7)), 1);
  EXPECT_EQ(CheckPacket(""), 1);
  EXPECT_EQ(CheckPacket(allWrong), 2);

  std::string s = allWrong;
  s[0] = good[0];
  EXPECT_EQ(CheckPacket(s), 3);
  s[1] = good[1];
  EXPECT_EQ(CheckPacket(s), 4);
  s[3] = good[3];
  EXPECT_EQ(CheckPacket(s), 5);
  s[s.size() - 2] = good[good.size() - 2];
  EXPECT_EQ(CheckPacket(s), 6);
  s.back() = good.back();
  EXPECT_EQ(CheckPacket(s), 0);
}

TEST(uKorvan97, CheckPacketComparesTheLengthFieldWithTheWholeFrame) {
  const std::string good = BuildPacket(0x31, 1, 2, Bytes({9, 9}));
  // A trailing byte or a missing one makes the length test fail, not a later one.
  EXPECT_EQ(CheckPacket(good + '\x0D'), 4);
  EXPECT_EQ(CheckPacket(good.substr(0, good.size() - 1)), 4);
  // The high byte of the length field counts too.
  std::string high = good;
  high[2] = 1;
  EXPECT_EQ(CheckPacket(high), 4);
}

TEST(uKorvan97, EightByteFramePassesCheckPacketButNotParsePacket) {
  std::string frame = Bytes({0x2A, 0x61, 0x00, 0x04, 0x31, 0x01});
  frame += static_cast<char>(PacketChecksum(frame));
  frame += '\x0D';
  ASSERT_EQ(frame.size(), 8u);
  EXPECT_EQ(CheckPacket(frame), 0);
  EXPECT_THROW(ParsePacket(frame), EKorvanPacketError);
}

TEST(uKorvan97, ParsePacketRejectsShortFramesAndLengthsBeyondTheEnd) {
  const std::string good = BuildPacket(0x31, 1, 2, Bytes({1, 2, 3, 4}));
  for (size_t n = 0; n < 9; ++n) {
    EXPECT_THROW(ParsePacket(good.substr(0, n)), EKorvanPacketError) << n;
  }
  // Cut short: the length field now points past the end.
  EXPECT_THROW(ParsePacket(good.substr(0, good.size() - 1)), EKorvanPacketError);

  std::string pointsBeyond = good;
  pointsBeyond[2] = 0x01;  // 0x0109
  EXPECT_THROW(ParsePacket(pointsBeyond), EKorvanPacketError);

  try {
    ParsePacket(pointsBeyond);
  } catch (const EKorvanPacketError& e) {
    EXPECT_STREQ(e.what(), "Incorrect PACKET (Korvan format 97)!");
    EXPECT_EQ(e.ClassName(), "EKorvanPacketError");
  }
}

TEST(uKorvan97, ParsePacketLeavesPrefixChecksumAndTerminatorToCheckPacket) {
  std::string frame = BuildPacket(0x31, 1, 2, Bytes({7}));
  frame[0] = '#';
  frame[frame.size() - 2] = 0;
  frame.back() = 0x0A;
  const TKorvanFormat97 p = ParsePacket(frame);
  EXPECT_EQ(p.prefix, '#');
  EXPECT_EQ(p.data, Bytes({7}));
  EXPECT_EQ(p.checksum, 0);
  EXPECT_EQ(p.terminator, 0x0A);
}

TEST(uKorvan97, DataBytesThatLookLikeDelimitersStayInsideTheFrame) {
  const std::string data = Bytes({0x0D, 0x2A, 0x61, 0x00, 0x05, 0x0D, 0x0D});
  const std::string first = BuildPacket(0x31, 5, 0, data);
  const std::string second = BuildPacket(0x32, 6, 0, Bytes({0x2A}));
  std::string buffer = first + second;

  EXPECT_EQ(ExtractPacket(buffer, true), first);
  EXPECT_EQ(buffer, second);
  EXPECT_EQ(CheckPacket(first), 0);
  EXPECT_EQ(ParsePacket(first).data, data);
  EXPECT_EQ(ExtractPacket(buffer, true), second);
  EXPECT_TRUE(buffer.empty());
}

TEST(uKorvan97, ExtractPacketWaitsForAnIncompleteFrameAndLeavesTheBuffer) {
  std::string buffer = Bytes({0x2A, 0x61, 0x01, 0x00}) + std::string(100, '\x11');
  const std::string before = buffer;
  EXPECT_EQ(ExtractPacket(buffer, false), "");
  EXPECT_EQ(ExtractPacket(buffer, true), "");
  EXPECT_EQ(buffer, before);

  // Fewer than four bytes: not even the length is known yet.
  for (const std::string& head : {std::string(), std::string("*"), std::string("*a"), std::string("*a\x00", 3)}) {
    std::string b = head;
    EXPECT_EQ(ExtractPacket(b, true), "");
    EXPECT_EQ(b, head);
  }

  // The last missing byte arrives.
  const std::string frame = BuildPacket(0x31, 1, 0xF3, "");
  std::string growing = frame.substr(0, frame.size() - 1);
  EXPECT_EQ(ExtractPacket(growing, true), "");
  growing += frame.back();
  EXPECT_EQ(ExtractPacket(growing, true), frame);
  EXPECT_TRUE(growing.empty());
}

TEST(uKorvan97, ExtractPacketTakesOnlyTheFirstOfFollowingFrames) {
  const std::string first = BuildPacket(0x31, 1, 0, Bytes({1, 2}));
  const std::string next = BuildPacket(0x31, 2, 0, Bytes({3, 4}));
  const std::string startOfNext = next.substr(0, 5);

  std::string buffer = first + startOfNext;
  EXPECT_EQ(ExtractPacket(buffer, false), first);
  EXPECT_EQ(buffer, first + startOfNext);
  EXPECT_EQ(ExtractPacket(buffer, true), first);
  EXPECT_EQ(buffer, startOfNext);
  EXPECT_EQ(ExtractPacket(buffer, true), "");
  EXPECT_EQ(buffer, startOfNext);
}

TEST(uKorvan97, ExtractPacketDoesNotSearchPastForeignBytes) {
  const std::string frame = BuildPacket(0x31, 1, 0, "");
  for (const std::string& junk : {std::string("x"), std::string("\x0D"), std::string("a*"), std::string("*b")}) {
    std::string buffer = junk + frame;
    const std::string before = buffer;
    EXPECT_EQ(ExtractPacket(buffer, true), "") << Hex(junk);
    EXPECT_EQ(buffer, before);
  }
  // Neither checksum nor terminator is its business.
  std::string broken = frame;
  broken[broken.size() - 2] ^= 1;
  broken.back() = 0;
  std::string buffer = broken;
  EXPECT_EQ(ExtractPacket(buffer, true), broken);
}

TEST(uKorvan97, CompletePacketLengthWalksBackToBackFramesByOffset) {
  const std::string a = BuildPacket(1, 1, 0, "");
  const std::string b = BuildPacket(2, 2, 0, Bytes({0x2A, 0x61}));
  const std::string buffer = a + b + "*a";
  EXPECT_EQ(CompletePacketLength(buffer, 0), a.size());
  EXPECT_EQ(CompletePacketLength(buffer, a.size()), b.size());
  EXPECT_EQ(CompletePacketLength(buffer, a.size() + b.size()), 0u);
  EXPECT_EQ(CompletePacketLength(buffer, 1), 0u);
  EXPECT_EQ(CompletePacketLength(buffer, buffer.size()), 0u);
  EXPECT_EQ(CompletePacketLength(buffer, buffer.size() + 10), 0u);
}

// Random, truncated and mutated buffers through all four operations. Every
// buffer is an exact-size heap block so that a read past its end is caught
// by the address sanitizer.
TEST(uKorvan97, SurvivesRandomAndTruncatedBuffers) {
  std::mt19937 rng(0x97u);
  auto byte = [&] { return static_cast<char>(rng() & 0xFF); };
  auto below = [&](size_t n) { return n == 0 ? size_t{0} : rng() % n; };

  int valid = 0, parsed = 0, extracted = 0;
  for (int round = 0; round < 4000; ++round) {
    std::string source;
    const int kind = round % 4;
    if (kind == 0) {  // noise
      source.resize(below(24));
      for (char& c : source) c = byte();
    } else {  // a real frame, maybe cut short or with one byte changed
      std::string data(below(20), '\0');
      for (char& c : data) c = byte();
      source = BuildPacket(static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()), data);
      if (kind == 2) source.resize(below(source.size()));
      if (kind == 3) source[below(source.size())] = byte();
      if (rng() % 4 == 0) source += static_cast<char>(0x2A);
    }
    const std::vector<char> heap(source.begin(), source.end());
    const std::string_view view(heap.data(), heap.size());

    EXPECT_EQ(static_cast<uint8_t>(PacketChecksum(view) + Sum(view)), 0xFF);

    const int check = CheckPacket(view);
    ASSERT_GE(check, 0);
    ASSERT_LE(check, 6);
    if (view.size() < 8) {
      EXPECT_EQ(check, 1);
    }
    valid += check == 0;

    for (size_t offset = 0; offset <= view.size() + 1; ++offset) {
      const size_t n = CompletePacketLength(view, offset);
      if (n == 0) continue;
      ASSERT_LE(offset + n, view.size());
      EXPECT_EQ(view.substr(offset, 2), "*a");
      EXPECT_EQ(n, (size_t{static_cast<uint8_t>(view[offset + 2])} << 8 | static_cast<uint8_t>(view[offset + 3])) + 4);
    }

    try {
      const TKorvanFormat97 p = ParsePacket(view);
      ASSERT_GE(view.size(), size_t{p.length} + 4);
      ASSERT_GE(p.length, 5);
      EXPECT_EQ(p.data, view.substr(7, p.length - 5u));
      EXPECT_EQ(p.checksum, static_cast<uint8_t>(view[p.length + 2u]));
      EXPECT_EQ(p.terminator, static_cast<uint8_t>(view[p.length + 3u]));
      if (check == 0) {
        EXPECT_EQ(BuildPacket(p.ADR, p.SIG, p.code, p.data), view);
      }
      ++parsed;
    } catch (const EKorvanPacketError&) {
      // A valid frame of at least nine bytes always parses.
      EXPECT_FALSE(check == 0 && view.size() >= 9) << Hex(view);
    }

    for (bool remove : {false, true}) {
      std::string buffer(view);
      const std::string frame = ExtractPacket(buffer, remove);
      EXPECT_EQ(frame.size(), CompletePacketLength(view));
      EXPECT_EQ(frame, view.substr(0, frame.size()));
      EXPECT_EQ(buffer, remove ? view.substr(frame.size()) : view);
      extracted += !frame.empty();
    }
  }
  // The mix must reach every branch, not only the rejections.
  EXPECT_GT(valid, 500);
  EXPECT_GT(parsed, 1000);
  EXPECT_GT(extracted, 1000);
}
