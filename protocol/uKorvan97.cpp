#include "protocol/uKorvan97.h"

namespace korvan {

namespace {
uint8_t Byte(std::string_view s, size_t i) { return static_cast<uint8_t>(s[i]); }
}  // namespace

uint8_t PacketChecksum(std::string_view bytes) {
  uint8_t sum = 0;
  for (char c : bytes) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
  return static_cast<uint8_t>(0xFF - sum);
}

std::string BuildPacket(uint8_t ADR, uint8_t SIG, uint8_t code, std::string_view data) {
  const uint16_t length = static_cast<uint16_t>(data.size() + 5);
  std::string frame;
  frame.reserve(data.size() + 9);
  frame += static_cast<char>(KorvanPrefix);
  frame += static_cast<char>(KorvanFormat);
  frame += static_cast<char>(length >> 8);
  frame += static_cast<char>(length & 0xFF);
  frame += static_cast<char>(ADR);
  frame += static_cast<char>(SIG);
  frame += static_cast<char>(code);
  frame.append(data);
  frame += static_cast<char>(PacketChecksum(frame));
  frame += static_cast<char>(KorvanTerminator);
  return frame;
}

size_t CompletePacketLength(std::string_view buffer, size_t offset) {
  if (offset > buffer.size() || buffer.size() - offset < 4) return 0;
  if (Byte(buffer, offset) != KorvanPrefix || Byte(buffer, offset + 1) != KorvanFormat) return 0;
  const size_t total = (size_t{Byte(buffer, offset + 2)} << 8 | Byte(buffer, offset + 3)) + 4;
  return buffer.size() - offset < total ? 0 : total;
}

std::string ExtractPacket(std::string& buffer, bool remove) {
  const size_t length = CompletePacketLength(buffer);
  if (length == 0) return {};
  std::string frame = buffer.substr(0, length);
  if (remove) buffer.erase(0, length);
  return frame;
}

int CheckPacket(std::string_view frame) {
  if (frame.size() < 8) return 1;
  if (Byte(frame, 0) != KorvanPrefix) return 2;
  if (Byte(frame, 1) != KorvanFormat) return 3;
  if (frame.size() - 4 != (size_t{Byte(frame, 2)} << 8 | Byte(frame, 3))) return 4;
  if (PacketChecksum(frame.substr(0, frame.size() - 2)) != Byte(frame, frame.size() - 2)) return 5;
  if (Byte(frame, frame.size() - 1) != KorvanTerminator) return 6;
  return 0;
}

bool IsValidPacket(std::string_view frame) {
  return frame.size() >= 8 && Byte(frame, 0) == KorvanPrefix && Byte(frame, 1) == KorvanFormat &&
         frame.size() - 4 == (size_t{Byte(frame, 2)} << 8 | Byte(frame, 3)) &&
         Byte(frame, frame.size() - 1) == KorvanTerminator &&
         PacketChecksum(frame.substr(0, frame.size() - 2)) == Byte(frame, frame.size() - 2);
}

TKorvanFormat97 ParsePacket(std::string_view frame) {
  if (frame.size() < 9) throw EKorvanPacketError();
  TKorvanFormat97 p;
  p.prefix = Byte(frame, 0);
  p.format = Byte(frame, 1);
  p.length = static_cast<uint16_t>(Byte(frame, 2) << 8 | Byte(frame, 3));
  p.ADR = Byte(frame, 4);
  p.SIG = Byte(frame, 5);
  p.code = Byte(frame, 6);
  // The checksum and terminator sit at length + 2 and length + 3.
  if (p.length < 5 || size_t{p.length} + 4 > frame.size()) throw EKorvanPacketError();
  p.data.assign(frame.substr(7, p.length - 5));
  p.checksum = Byte(frame, p.length + 2);
  p.terminator = Byte(frame, p.length + 3);
  return p;
}

}  // namespace korvan
