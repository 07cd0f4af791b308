#include "tools/korvan-sim/uIngraModel.h"

namespace korvan::sim {

namespace {
constexpr int Inputs = 4;
}  // namespace

TIngraModel::TIngraModel(TIngraKind kind)
    : TModuleModel("Ingra;v1.0;simulated"), kind_(kind), codes_(DefaultCodes(kind)) {}

TIngraModel::TCodes TIngraModel::DefaultCodes(TIngraKind kind) {
  const uint8_t code = kind == TIngraKind::Voltage ? 0 : 1;
  return {code, code, code, code};
}

bool TIngraModel::CodeFits(TIngraKind kind, uint8_t code) {
  return kind == TIngraKind::Voltage ? code == 0 : code == 1 || code == 2;
}

std::optional<TModuleModel::TReply> TIngraModel::Instruction(uint8_t code, std::string_view data,
                                                             bool configuration) {
  switch (code) {
    case 0x1B: {  // read the ranges
      if (!data.empty()) return Ack(3);
      std::string answer;
      for (int n = 0; n < Inputs; ++n) answer += Item(static_cast<uint8_t>(n + 1), codes_[n], 1);
      return Ack(0, answer);
    }
    case 0x1A: {  // write the ranges: all four inputs, all or nothing
      if (!configuration) return Ack(4);
      const auto items = ParseItems(data, 1, Inputs);
      if (!items || items->size() != Inputs) return Ack(3);
      TCodes codes{};
      for (const TItem& item : *items) {
        if (!CodeFits(kind_, static_cast<uint8_t>(item.Value))) return Ack(3);
        codes[item.Channel - 1] = static_cast<uint8_t>(item.Value);
      }
      codes_ = codes;
      return Ack(0);
    }
    default:
      return std::nullopt;
  }
}

TIngraKind TIngraModel::GetKind() const {
  std::lock_guard lock(mutex_);
  return kind_;
}
void TIngraModel::SetKind(TIngraKind kind) {
  std::lock_guard lock(mutex_);
  kind_ = kind;
  codes_ = DefaultCodes(kind);
}
TIngraModel::TCodes TIngraModel::GetCodes() const {
  std::lock_guard lock(mutex_);
  return codes_;
}
void TIngraModel::SetCodes(const TCodes& codes) {
  std::lock_guard lock(mutex_);
  codes_ = codes;
}

}  // namespace korvan::sim
