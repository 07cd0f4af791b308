#include "tools/korvan-sim/uFrameCutter.h"

#include "protocol/uKorvan97.h"

namespace korvan::sim {

namespace {
constexpr size_t CompactAtLeast = 4096;
}  // namespace

bool TFrameCutter::Valid(uint64_t pos, uint64_t end) const {
  if (end - pos < 9) return false;  // a frame without SIG and code is nothing to answer
  const uint64_t check = end - 2;
  const auto sum = static_cast<uint8_t>(sums_[check - base_] - sums_[pos - base_]);
  return At(check) == static_cast<uint8_t>(0xFF - sum) && At(end - 1) == KorvanTerminator;
}

void TFrameCutter::Cut(std::vector<std::string>& frames) {
  while (pos_ < End()) {
    if (At(pos_) != KorvanPrefix) {
      ++pos_;
      continue;
    }
    if (pos_ + 1 == End()) return;
    if (At(pos_ + 1) != KorvanFormat) {
      ++pos_;
      continue;
    }
    if (pos_ + 4 > End()) return;
    const uint64_t end = pos_ + 4 + (uint64_t{At(pos_ + 2)} << 8 | At(pos_ + 3));
    if (end > End()) return;
    if (Valid(pos_, end)) {
      frames.emplace_back(buf_, pos_ - base_, end - pos_);
      pos_ = end;
    } else {
      ++pos_;
    }
  }
}

std::vector<std::string> TFrameCutter::Feed(std::string_view bytes) {
  buf_.append(bytes);
  // No exact reserve here: it would copy the whole table on every chunk, and
  // a stalled frame start holds up to 64 KiB of it.
  for (char ch : bytes)
    sums_.push_back(static_cast<uint8_t>(sums_.back() + static_cast<uint8_t>(ch)));
  std::vector<std::string> frames;
  Cut(frames);
  Compact();
  return frames;
}

std::vector<std::string> TFrameCutter::Expire() {
  std::vector<std::string> frames;
  Cut(frames);
  while (pos_ < End()) {
    ++pos_;  // the stalled start is noise
    Cut(frames);
  }
  Compact();
  return frames;
}

void TFrameCutter::Compact() {
  const size_t drop = static_cast<size_t>(pos_ - base_);
  if (drop < CompactAtLeast || drop < buf_.size() / 2) return;
  buf_.erase(0, drop);
  sums_.erase(sums_.begin(), sums_.begin() + static_cast<std::ptrdiff_t>(drop));
  base_ = pos_;
}

void TFrameCutter::Clear() {
  buf_.clear();
  sums_.assign(1, 0);
  base_ = pos_ = 0;
}

}  // namespace korvan::sim
