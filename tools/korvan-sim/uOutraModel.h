#pragma once
// The simulated Outra module: two analog outputs with range, watchdog and output value.
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>

#include "tools/korvan-sim/uModuleModel.h"

namespace korvan::sim {

// The Outra module: two analog outputs, each with a range code (1 to 7), a
// watchdog time-out in seconds (0 = off, at most 86400), a watchdog value
// (12 bit) and its present output value.
//
// The output value is one quantity seen two ways: raw (0..4095, instructions
// 0x40/0x41) and scaled to 0..10000 over the range (0x42/0x43). A write sets
// the form it names exactly and the other form rounded.
//
// The watchdog: an output whose time-out (when not 0) passes without any
// request to the module takes its watchdog value as its raw output value,
// once per silence. It is worked out when the module is next asked or read,
// so no timer runs.
//
// Getters and setters take the output number, 1 or 2 (std::out_of_range
// otherwise); setters store as given, without the module's limits.
class TOutraModel : public TModuleModel {
 public:
  static constexpr uint32_t MaxTimeout = 86400;
  static constexpr uint32_t MaxRaw = 4095;
  static constexpr uint32_t MaxScaled = 10000;
  using TClock = std::function<std::chrono::steady_clock::time_point()>;

  // The clock is the steady clock unless a test gives its own.
  explicit TOutraModel(TClock clock = {});

  uint8_t GetRange(int output) const;
  void SetRange(int output, uint8_t code);
  uint32_t GetWatchDogTimeout(int output) const;
  void SetWatchDogTimeout(int output, uint32_t seconds);
  uint16_t GetWatchDogValue(int output) const;
  void SetWatchDogValue(int output, uint16_t value);
  uint16_t GetOutputRaw(int output) const;
  void SetOutputRaw(int output, uint16_t value);
  uint16_t GetOutputScaled(int output) const;
  void SetOutputScaled(int output, uint16_t value);

 protected:
  std::optional<TReply> Instruction(uint8_t code, std::string_view data,
                                    bool configuration) override;
  void Heard() override;

 private:
  struct TOutput {
    uint8_t Range = 1;
    uint32_t Timeout = 0;
    uint16_t WatchDogValue = 0;
    uint16_t Raw = 0;
    uint16_t Scaled = 0;
  };
  static constexpr int Outputs = 2;

  TOutput& At(int output) { return outputs_.at(static_cast<size_t>(output - 1)); }
  const TOutput& At(int output) const { return outputs_.at(static_cast<size_t>(output - 1)); }
  static void StoreRaw(TOutput& o, uint32_t value);
  static void StoreScaled(TOutput& o, uint32_t value);
  // Outputs whose watchdog ran out since the last request take their value.
  void WatchDogs() const;

  mutable std::array<TOutput, Outputs> outputs_{};
  TClock clock_;
  std::chrono::steady_clock::time_point lastHeard_;
  mutable std::array<bool, Outputs> tripped_{};
};

}  // namespace korvan::sim
