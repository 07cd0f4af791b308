#pragma once
// The Ingra module's device: its interface, the range codes of its inputs and the device object.
#include <array>
#include <cstdint>

#include "protocol/uKorvanStackDevice.h"

namespace korvan {

// One measuring range code per input, input 1 first.
using TIngraRanges = std::array<uint8_t, 4>;

// Range codes of the Ingra inputs.
enum : uint8_t {
  IngraRange0to10V = 0,  // voltage module
  IngraRange4to20mA = 1,  // current module
  IngraRange0to20mA = 2,  // current module
};

class IIngra : public virtual IKorvanStackDevice {
 public:
  // Enables configuration (0xE4), then writes the four codes (0x1A).
  virtual bool SetRanges(const TIngraRanges& ranges) = 0;
  // Reads the four codes (0x1B).
  virtual bool GetRanges(TIngraRanges& ranges) = 0;
};

// The Ingra module: four analog inputs with a configurable measuring range.
class TIngra : public TKorvanStackDevice, public virtual IIngra {
 public:
  using TKorvanStackDevice::TKorvanStackDevice;

  bool SetRanges(const TIngraRanges& ranges) override;
  bool GetRanges(TIngraRanges& ranges) override;
};

}  // namespace korvan
