#pragma once
// The simulated Ingra module: four analog inputs, each with a range code.
#include <array>
#include <cstdint>

#include "tools/korvan-sim/uModuleModel.h"

namespace korvan::sim {

enum class TIngraKind { Voltage, Current };

// The Ingra module: four analog inputs, each with a range code. A voltage
// module knows code 0 ("0 - 10 V"), a current module codes 1 ("4 - 20 mA")
// and 2 ("0 - 20 mA").
class TIngraModel : public TModuleModel {
 public:
  using TCodes = std::array<uint8_t, 4>;  // input 1 first

  explicit TIngraModel(TIngraKind kind = TIngraKind::Current);

  static bool CodeFits(TIngraKind kind, uint8_t code);

  TIngraKind GetKind() const;
  // Also sets all four inputs to the kind's first range.
  void SetKind(TIngraKind kind);
  TCodes GetCodes() const;
  // Stored as given, even codes the module would refuse, so that tests can
  // preset what a real module might report.
  void SetCodes(const TCodes& codes);

 protected:
  std::optional<TReply> Instruction(uint8_t code, std::string_view data,
                                    bool configuration) override;

 private:
  static TCodes DefaultCodes(TIngraKind kind);

  TIngraKind kind_;
  TCodes codes_;
};

}  // namespace korvan::sim
