#include "tools/korvan-sim/uModuleModel.h"

#include <utility>

#include "protocol/uKorvan97.h"

namespace korvan::sim {

namespace {
constexpr uint8_t NoticeCode = 0x0D;
constexpr size_t TextLength = 16;

uint32_t BigEndian(std::string_view bytes) {
  uint32_t value = 0;
  for (char c : bytes) value = value << 8 | static_cast<uint8_t>(c);
  return value;
}

std::string Number(uint32_t value, int width) {
  std::string bytes;
  for (int shift = 8 * (width - 1); shift >= 0; shift -= 8)
    bytes += static_cast<char>(value >> shift & 0xFF);
  return bytes;
}

bool ValidModuleAddress(uint8_t address) {
  return address != KorvanUniversalAddress && address != KorvanInvalidAddress;
}
}  // namespace

std::string TAnswer::Bytes() const {
  std::string all;
  for (const TPiece& piece : Pieces) all += piece.Bytes;
  return all;
}

TModuleModel::TModuleModel(std::string identification)
    : identification_(std::move(identification)) {}

std::string TModuleModel::Item(uint8_t channel, uint32_t value, int width) {
  return static_cast<char>(channel) + Number(value, width);
}

std::optional<std::vector<TModuleModel::TItem>> TModuleModel::ParseItems(std::string_view data,
                                                                         int width, int channels) {
  const size_t size = static_cast<size_t>(width) + 1;
  if (data.size() % size != 0 || data.size() / size > static_cast<size_t>(channels))
    return std::nullopt;
  std::vector<TItem> items;
  unsigned seen = 0;
  for (size_t at = 0; at < data.size(); at += size) {
    const auto channel = static_cast<uint8_t>(data[at]);
    if (channel < 1 || channel > channels || (seen & 1u << channel)) return std::nullopt;
    seen |= 1u << channel;
    items.push_back({channel, BigEndian(data.substr(at + 1, static_cast<size_t>(width)))});
  }
  return items;
}

TAnswer TModuleModel::Answer(std::string_view request) {
  // CheckPacket passes 8-byte frames that have no code to act on.
  if (request.size() < 9 || CheckPacket(request) != 0) return {};
  const TKorvanFormat97 p = ParsePacket(request);

  std::lock_guard lock(mutex_);
  if (p.ADR != address_ && p.ADR != KorvanUniversalAddress) return {};
  Heard();
  if (faults_.Silent) return {};
  // The answer carries the address the request reached, even when the
  // request changes it.
  const uint8_t adr = address_;
  if (faults_.ForcedAck) return Shape(adr, p.SIG, Ack(*faults_.ForcedAck));

  const bool configuration = std::exchange(configuration_, false);
  std::optional<TReply> reply = Common(p.code, p.data, configuration);
  if (!reply) reply = Instruction(p.code, p.data, configuration);
  if (!reply) reply = Ack(2);
  if (reply->Quiet) return {};
  return Shape(adr, p.SIG, *reply);
}

TAnswer TModuleModel::Shape(uint8_t adr, uint8_t sig, const TReply& reply) {
  TAnswer answer;
  int pause = faults_.DelayMs;
  const auto add = [&](std::string bytes, int pauseMs) {
    answer.Pieces.push_back({pauseMs, std::move(bytes)});
    pause = 0;
  };
  if (!faults_.Noise.empty()) add(faults_.Noise, pause);
  if (faults_.NoticeBeforeAnswer) add(BuildPacket(adr, sig, NoticeCode, ""), pause);

  std::string frame = BuildPacket(adr, sig, reply.Ack, reply.Data);
  if (std::exchange(faults_.BadChecksumOnce, false))
    frame[frame.size() - 2] = static_cast<char>(~frame[frame.size() - 2]);
  if (faults_.SplitPauseMs >= 0) {
    const size_t half = frame.size() / 2;
    add(frame.substr(0, half), pause);
    add(frame.substr(half), faults_.SplitPauseMs);
  } else {
    add(std::move(frame), pause);
  }
  if (!faults_.Suffix.empty()) add(faults_.Suffix, 0);
  return answer;
}

std::optional<TModuleModel::TReply> TModuleModel::Common(uint8_t code, std::string_view data,
                                                         bool configuration) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(data[i]); };
  switch (code) {
    case 0xF3:  // identification
      if (!data.empty()) return Ack(3);
      return Ack(0, identification_);
    case 0xE4:  // enable configuration for the next request
      if (!data.empty()) return Ack(3);
      configuration_ = true;
      return Ack(0);
    case 0xF0:  // address and baud code
      if (!data.empty()) return Ack(3);
      return Ack(0, {static_cast<char>(address_), static_cast<char>(baudCode_)});
    case 0xE0:
      if (!configuration) return Ack(4);
      if (data.size() != 2 || !ValidModuleAddress(byte(0)) || byte(1) >= BaudCodes) return Ack(3);
      address_ = byte(0);
      baudCode_ = byte(1);
      return Ack(0);
    case 0xF1:
      if (!data.empty()) return Ack(3);
      return Ack(0, std::string(1, static_cast<char>(parameter_)));
    case 0xE1:
      if (data.size() != 1) return Ack(3);
      parameter_ = byte(0);
      return Ack(0);
    case 0xF2:
      if (!data.empty()) return Ack(3);
      return Ack(0, text_);
    case 0xE2: {
      // 0x00, the text of up to 16 bytes, and a closing 0x00 when it is shorter.
      if (data.size() < 2 || data.size() > TextLength + 1 || byte(0) != 0) return Ack(3);
      const bool full = data.size() == TextLength + 1;
      if (!full && data.back() != 0) return Ack(3);
      text_ = std::string(data.substr(1, full ? TextLength : data.size() - 2));
      return Ack(0);
    }
    case 0xFE:
      if (!data.empty()) return Ack(3);
      return Ack(0, std::string(1, flag_ ? '\x01' : '\x00'));
    case 0xEE:
      if (data.size() != 1 || byte(0) > 1) return Ack(3);
      flag_ = byte(0) == 1;
      return Ack(0);
    case 0xFA:
      if (!data.empty()) return Ack(3);
      return Ack(0, Number(numbers_.A, 2) + Number(numbers_.B, 2) + Number(numbers_.C, 4));
    case 0xEB: {
      // New address, A, B: only the module whose numbers match takes it; the
      // others on a shared line keep quiet.
      if (data.size() != 5) return Ack(3);
      if (BigEndian(data.substr(1, 2)) != numbers_.A || BigEndian(data.substr(3, 2)) != numbers_.B)
        return TReply{0, {}, true};
      if (!ValidModuleAddress(byte(0))) return Ack(3);
      address_ = byte(0);
      return Ack(0);
    }
    case 0xE3:
      if (!data.empty()) return Ack(3);
      ++commands_;
      return Ack(0);
    default:
      return std::nullopt;
  }
}

uint8_t TModuleModel::GetAddress() const {
  std::lock_guard lock(mutex_);
  return address_;
}
void TModuleModel::SetAddress(uint8_t address) {
  std::lock_guard lock(mutex_);
  address_ = address;
}
uint8_t TModuleModel::GetBaudCode() const {
  std::lock_guard lock(mutex_);
  return baudCode_;
}
void TModuleModel::SetBaudCode(uint8_t code) {
  std::lock_guard lock(mutex_);
  baudCode_ = code;
}
std::string TModuleModel::GetIdentification() const {
  std::lock_guard lock(mutex_);
  return identification_;
}
void TModuleModel::SetIdentification(std::string text) {
  if (text.size() > KorvanMaxData) text.resize(KorvanMaxData);
  std::lock_guard lock(mutex_);
  identification_ = std::move(text);
}
uint8_t TModuleModel::GetParameter() const {
  std::lock_guard lock(mutex_);
  return parameter_;
}
void TModuleModel::SetParameter(uint8_t value) {
  std::lock_guard lock(mutex_);
  parameter_ = value;
}
std::string TModuleModel::GetText() const {
  std::lock_guard lock(mutex_);
  return text_;
}
void TModuleModel::SetText(std::string text) {
  if (text.size() > KorvanMaxData) text.resize(KorvanMaxData);
  std::lock_guard lock(mutex_);
  text_ = std::move(text);
}
bool TModuleModel::GetFlag() const {
  std::lock_guard lock(mutex_);
  return flag_;
}
void TModuleModel::SetFlag(bool value) {
  std::lock_guard lock(mutex_);
  flag_ = value;
}
TNumbers TModuleModel::GetNumbers() const {
  std::lock_guard lock(mutex_);
  return numbers_;
}
void TModuleModel::SetNumbers(TNumbers numbers) {
  std::lock_guard lock(mutex_);
  numbers_ = numbers;
}
int TModuleModel::GetCommandCount() const {
  std::lock_guard lock(mutex_);
  return commands_;
}
bool TModuleModel::GetConfigurationEnabled() const {
  std::lock_guard lock(mutex_);
  return configuration_;
}
TFaults TModuleModel::GetFaults() const {
  std::lock_guard lock(mutex_);
  return faults_;
}
void TModuleModel::SetFaults(TFaults faults) {
  std::lock_guard lock(mutex_);
  faults_ = std::move(faults);
}

void TModuleModel::SetDelay(int milliseconds) {
  std::lock_guard lock(mutex_);
  faults_.DelayMs = milliseconds;
}
void TModuleModel::SetNoise(std::string bytes) {
  std::lock_guard lock(mutex_);
  faults_.Noise = std::move(bytes);
}
void TModuleModel::SetSuffix(std::string bytes) {
  std::lock_guard lock(mutex_);
  faults_.Suffix = std::move(bytes);
}
void TModuleModel::SetSplit(int pauseMs) {
  std::lock_guard lock(mutex_);
  faults_.SplitPauseMs = pauseMs;
}
void TModuleModel::SpoilNextChecksum() {
  std::lock_guard lock(mutex_);
  faults_.BadChecksumOnce = true;
}
void TModuleModel::SetSilent(bool silent) {
  std::lock_guard lock(mutex_);
  faults_.Silent = silent;
}
void TModuleModel::SetNoticeBeforeAnswer(bool notice) {
  std::lock_guard lock(mutex_);
  faults_.NoticeBeforeAnswer = notice;
}
void TModuleModel::SetForcedAck(std::optional<uint8_t> code) {
  std::lock_guard lock(mutex_);
  faults_.ForcedAck = code;
}

}  // namespace korvan::sim
