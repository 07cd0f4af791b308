#pragma once
// Several simulated modules on one line, as on an RS-485 bus.
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "tools/korvan-sim/uModuleModel.h"

namespace korvan::sim {

// Several modules on one line, as on an RS-485 bus: every module hears every
// frame; each answers its own address and the universal one. Answers sent at
// once collide. Not thread-safe: the server's one loop owns it.
class TSimBus {
 public:
  // rate 0: the module hears at any line speed. Otherwise it takes the rate's
  // baud code and hears only while the line runs at that rate.
  void Add(std::unique_ptr<TModuleModel> model, uint32_t rate = 0);

  size_t Size() const { return modules_.size(); }
  TModuleModel& Module(size_t i) { return *modules_[i].Model; }
  uint32_t Rate(size_t i) const { return modules_[i].Rate; }

  // What the line carries back after one frame. lineRate 0: a line without a
  // speed (TCP, UDP, HID), where every module hears. A module's new address
  // or rate applies from the next frame on, its answer still going out as before.
  TAnswer Answer(std::string_view frame, uint32_t lineRate);

  // Transmitters that start together garble each other: their bytes
  // interleaved one by one, after the longest first pause.
  static TAnswer Collide(const std::vector<TAnswer>& answers);

 private:
  struct TModule {
    std::unique_ptr<TModuleModel> Model;
    uint32_t Rate = 0;
  };
  std::vector<TModule> modules_;
};

// The code of a rate in the modules' baud table, or -1.
int BaudCode(uint32_t rate);

// The speed a terminal (or a pseudo-terminal's master) is set to; 0 when it
// cannot be read.
uint32_t LineRate(int fd);

}  // namespace korvan::sim
