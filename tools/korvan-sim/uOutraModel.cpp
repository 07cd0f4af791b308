#include "tools/korvan-sim/uOutraModel.h"

#include <utility>

namespace korvan::sim {

namespace {
uint32_t Rounded(uint32_t value, uint32_t to, uint32_t from) {
  return (value * to + from / 2) / from;
}
}  // namespace

TOutraModel::TOutraModel(TClock clock)
    : TModuleModel("Outra;v1.0;simulated"),
      clock_(clock ? std::move(clock) : TClock(&std::chrono::steady_clock::now)),
      lastHeard_(clock_()) {}

void TOutraModel::WatchDogs() const {
  const auto silence = clock_() - lastHeard_;
  for (size_t i = 0; i < outputs_.size(); ++i) {
    TOutput& o = outputs_[i];
    if (o.Timeout == 0 || tripped_[i] || silence < std::chrono::seconds(o.Timeout)) continue;
    StoreRaw(o, o.WatchDogValue);
    tripped_[i] = true;
  }
}

void TOutraModel::Heard() {
  WatchDogs();
  lastHeard_ = clock_();
  tripped_ = {};
}

void TOutraModel::StoreRaw(TOutput& o, uint32_t value) {
  o.Raw = static_cast<uint16_t>(value);
  o.Scaled = static_cast<uint16_t>(Rounded(value, MaxScaled, MaxRaw));
}

void TOutraModel::StoreScaled(TOutput& o, uint32_t value) {
  o.Scaled = static_cast<uint16_t>(value);
  o.Raw = static_cast<uint16_t>(Rounded(value, MaxRaw, MaxScaled));
}

std::optional<TModuleModel::TReply> TOutraModel::Instruction(uint8_t code, std::string_view data,
                                                             bool) {
  // Writes take one item per output named, and change nothing unless every
  // item is within its limits.
  const auto write = [&](int width, auto valid, auto store) {
    return WriteItems(data, width, Outputs, false, valid, [&](uint8_t n, uint32_t v) { store(At(n), v); });
  };
  const auto read = [&](int width, auto get) {
    return ReadItems(data, width, Outputs, [&](int n) { return static_cast<uint32_t>(get(At(n))); });
  };
  const auto atMost = [](uint32_t limit) { return [limit](uint32_t v) { return v <= limit; }; };

  switch (code) {
    case 0x40:
      return write(2, atMost(MaxRaw), StoreRaw);
    case 0x41:
      return read(2, [](const TOutput& o) { return o.Raw; });
    case 0x42:
      return write(2, atMost(MaxScaled), StoreScaled);
    case 0x43:
      return read(2, [](const TOutput& o) { return o.Scaled; });
    case 0xC0:
      return write(
          1, [](uint32_t v) { return v >= 1 && v <= 7; },
          [](TOutput& o, uint32_t v) { o.Range = static_cast<uint8_t>(v); });
    case 0xC1:
      return read(1, [](const TOutput& o) { return o.Range; });
    case 0xC2:
      return write(3, atMost(MaxTimeout), [](TOutput& o, uint32_t v) { o.Timeout = v; });
    case 0xC3:
      return read(3, [](const TOutput& o) { return o.Timeout; });
    case 0xC4:
      return write(2, atMost(MaxRaw),
                   [](TOutput& o, uint32_t v) { o.WatchDogValue = static_cast<uint16_t>(v); });
    case 0xC5:
      return read(2, [](const TOutput& o) { return o.WatchDogValue; });
    default:
      return std::nullopt;
  }
}

uint8_t TOutraModel::GetRange(int output) const {
  std::lock_guard lock(mutex_);
  return At(output).Range;
}
void TOutraModel::SetRange(int output, uint8_t code) {
  std::lock_guard lock(mutex_);
  At(output).Range = code;
}
uint32_t TOutraModel::GetWatchDogTimeout(int output) const {
  std::lock_guard lock(mutex_);
  return At(output).Timeout;
}
void TOutraModel::SetWatchDogTimeout(int output, uint32_t seconds) {
  std::lock_guard lock(mutex_);
  At(output).Timeout = seconds;
}
uint16_t TOutraModel::GetWatchDogValue(int output) const {
  std::lock_guard lock(mutex_);
  return At(output).WatchDogValue;
}
void TOutraModel::SetWatchDogValue(int output, uint16_t value) {
  std::lock_guard lock(mutex_);
  At(output).WatchDogValue = value;
}
uint16_t TOutraModel::GetOutputRaw(int output) const {
  std::lock_guard lock(mutex_);
  WatchDogs();
  return At(output).Raw;
}
void TOutraModel::SetOutputRaw(int output, uint16_t value) {
  std::lock_guard lock(mutex_);
  StoreRaw(At(output), value);
}
uint16_t TOutraModel::GetOutputScaled(int output) const {
  std::lock_guard lock(mutex_);
  WatchDogs();
  return At(output).Scaled;
}
void TOutraModel::SetOutputScaled(int output, uint16_t value) {
  std::lock_guard lock(mutex_);
  StoreScaled(At(output), value);
}

}  // namespace korvan::sim
