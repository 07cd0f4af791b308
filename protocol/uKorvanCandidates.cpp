#include "protocol/uKorvanCandidates.h"

#include <algorithm>
#include <cstring>

#include "protocol/uKorvan97.h"

namespace korvan {

void TFrameCandidates::Register(std::string_view bytes, uint64_t base, uint64_t position) {
  const size_t at = position - base;
  // Until the length field is there, the header is what the start waits for.
  uint64_t end = position + 4;
  if (bytes.size() - at >= 4)
    end = position + 4 + (size_t{static_cast<uint8_t>(bytes[at + 2])} << 8 | static_cast<uint8_t>(bytes[at + 3]));
  if (end <= base + bytes.size()) {
    ready_.insert(position);
  } else {
    waiting_.insert(position);
    due_.push({end, position});
  }
}

void TFrameCandidates::Update(std::string_view bytes, uint64_t base) {
  const uint64_t end = base + bytes.size();
  // A start judged before whose bytes are all there now.
  while (!due_.empty() && due_.top().end <= end) {
    const uint64_t position = due_.top().position;
    due_.pop();
    const bool live = waiting_.erase(position) != 0;
    if (!live || position < base) continue;  // forgotten meanwhile
    Register(bytes, base, position);
  }
  if (waiting_.empty()) due_ = {};  // only forgotten entries left
  // The new starts; a last "*" waits for the byte after it.
  for (uint64_t p = std::max({scanned_, base, floor_}); p + 1 < end;) {
    const char* from = bytes.data() + (p - base);
    const void* star = std::memchr(from, KorvanPrefix, end - 1 - p);
    if (!star) {
      p = end - 1;
      break;
    }
    p += static_cast<const char*>(star) - from;
    if (static_cast<uint8_t>(bytes[p - base + 1]) == KorvanFormat) Register(bytes, base, p);
    ++p;
  }
  scanned_ = std::max(scanned_, end == 0 ? 0 : end - 1);
}

void TFrameCandidates::DropBefore(uint64_t position) {
  if (position <= floor_) return;
  floor_ = position;
  ready_.erase(ready_.begin(), ready_.lower_bound(position));
  waiting_.erase(waiting_.begin(), waiting_.lower_bound(position));
  scanned_ = std::max(scanned_, position);
}

uint64_t TFrameCandidates::FirstReady() const { return ready_.empty() ? None : *ready_.begin(); }

uint64_t TFrameCandidates::FirstWaiting() const { return waiting_.empty() ? None : *waiting_.begin(); }

void TFrameCandidates::Resolve(uint64_t position) { ready_.erase(position); }

void TFrameCandidates::Clear() { *this = TFrameCandidates(); }

}  // namespace korvan
