#include "protocol/uKorvan97INST.h"

namespace korvan {

std::string INSTItem(uint8_t channel, uint32_t value, int width) {
  std::string item(1, static_cast<char>(channel));
  for (int i = width - 1; i >= 0; --i) item += static_cast<char>((value >> (8 * i)) & 0xFF);
  return item;
}

bool INSTItemValue(std::string_view data, size_t offset, int width, uint32_t& value) {
  value = 0;
  if (width < 0 || offset + 1 + static_cast<size_t>(width) > data.size()) return false;
  for (int i = 0; i < width; ++i) value = value << 8 | static_cast<uint8_t>(data[offset + 1 + i]);
  return true;
}

bool CheckINSTItems(std::string_view data, int count, int width) {
  const size_t itemSize = static_cast<size_t>(width) + 1;
  if (data.size() != itemSize * static_cast<size_t>(count)) return false;
  for (int n = 0; n < count; ++n)
    if (static_cast<uint8_t>(data[n * itemSize]) != n + 1) return false;
  return true;
}

}  // namespace korvan
