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
    case 0x1B:  // read the ranges
      return ReadItems(data, 1, Inputs, [&](int n) { return codes_[n - 1]; });
    case 0x1A:  // write the ranges: all four inputs, all or nothing
      if (!configuration) return Ack(4);
      return WriteItems(
          data, 1, Inputs, true, [&](uint32_t v) { return CodeFits(kind_, static_cast<uint8_t>(v)); },
          [&](uint8_t n, uint32_t v) { codes_[n - 1] = static_cast<uint8_t>(v); });
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
