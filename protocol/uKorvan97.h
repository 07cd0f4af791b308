#pragma once
// Korvan "format 97" frames: their layout, parsing, building and checksum.
#include <cstdint>
#include <string>
#include <string_view>

#include "comm/uException.h"

namespace korvan {

// Korvan packet "format 97":
//   2A 61 LL LL ADR SIG code data... checksum 0D
// where LLLL (big-endian) counts the bytes after it: 3 + data + 2.
constexpr uint8_t KorvanPrefix = 0x2A;
constexpr uint8_t KorvanFormat = 0x61;
constexpr uint8_t KorvanTerminator = 0x0D;
constexpr uint8_t KorvanUniversalAddress = 0xFE;
constexpr uint8_t KorvanInvalidAddress = 0xFF;
constexpr size_t KorvanMaxData = 65530;

// A parsed frame.
struct TKorvanFormat97 {
  uint8_t prefix = 0;
  uint8_t format = 0;
  uint16_t length = 0;
  uint8_t ADR = 0;
  uint8_t SIG = 0;
  uint8_t code = 0;
  std::string data;
  uint8_t checksum = 0;
  uint8_t terminator = 0;
};

class EKorvanPacketError : public Exception {
 public:
  EKorvanPacketError() : Exception("Incorrect PACKET (Korvan format 97)!") {}
};

// 0xFF minus the 8-bit sum of the bytes.
uint8_t PacketChecksum(std::string_view bytes);

// The complete frame; the length field keeps 16 bits of data length + 5.
std::string BuildPacket(uint8_t ADR, uint8_t SIG, uint8_t code, std::string_view data);

// The complete frame at the very start of the buffer, or empty when the buffer
// does not start with "*a" or the frame is not complete yet. With remove set
// the frame is cut from the buffer. Neither checksum nor terminator is checked.
std::string ExtractPacket(std::string& buffer, bool remove);

// The length of the frame at `offset` when it is complete there, else 0; the
// allocation-free core of ExtractPacket for callers that walk a buffer.
size_t CompletePacketLength(std::string_view buffer, size_t offset = 0);

// 0 when valid, else the first failed test: 1 shorter than 8 bytes, 2 prefix,
// 3 format, 4 length field, 5 checksum, 6 terminator.
int CheckPacket(std::string_view frame);

// CheckPacket(frame) == 0, with the checks that cost nothing (length field,
// terminator) before the checksum: what a search over many candidates uses.
bool IsValidPacket(std::string_view frame);

// The frame's fields; throws EKorvanPacketError on a frame shorter than 9
// bytes or whose length field points beyond its end. Run CheckPacket first.
TKorvanFormat97 ParsePacket(std::string_view frame);

}  // namespace korvan
