#pragma once
// Instruction data items of multi-channel modules: the 1-based channel, then a big-endian fixed-width value.
#include <cstdint>
#include <string>
#include <string_view>

namespace korvan {


// One item: channel, then `width` bytes of value.
std::string INSTItem(uint8_t channel, uint32_t value, int width);

// The value of the item at `offset` (channel byte included); false when the
// data is too short.
bool INSTItemValue(std::string_view data, size_t offset, int width, uint32_t& value);

// True when the data holds exactly `count` items of `width` value bytes whose
// channel bytes are 1, 2, … in order.
bool CheckINSTItems(std::string_view data, int count, int width);

}  // namespace korvan
