#include "protocol/uKorvanCandidates.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

#include "protocol/uKorvan97.h"

namespace korvan {

uint64_t TFrameCandidates::EndOf(std::string_view bytes, uint64_t base, uint64_t position) {
  const size_t at = position - base;
  if (bytes.size() - at < 4) return position + 4;
  return position + 4 + (size_t{static_cast<uint8_t>(bytes[at + 2])} << 8 | static_cast<uint8_t>(bytes[at + 3]));
}

void TFrameCandidates::Update(std::string_view bytes, uint64_t base) {
  const uint64_t end = base + bytes.size();
  if (end >= earliestEnd_ && inEndOrder_) {
    // Ends rise with positions (one announced length, as a flood has): the
    // complete ones are the first.
    while (!waiting_.empty() && (waiting_.front().position < base || waiting_.front().end <= end)) {
      const TWaiting w = waiting_.front();
      waiting_.pop_front();
      if (w.position < base) continue;
      const uint64_t e = EndOf(bytes, base, w.position);  // the header may be new
      if (e <= end) {
        if (ready_.empty() || ready_.back() < w.position)
          ready_.push_back(w.position);
        else
          ready_.insert(std::upper_bound(ready_.begin(), ready_.end(), w.position), w.position);
      } else {
        waiting_.push_front({w.position, e});
        inEndOrder_ = waiting_.size() < 2 || e <= waiting_[1].end;
        break;
      }
    }
    earliestEnd_ = waiting_.empty() ? None : waiting_.front().end;
  }
  if (end >= earliestEnd_ && !inEndOrder_) {
    // One pass over the waiting starts: the complete ones become ready.
    std::vector<uint64_t> complete;
    earliestEnd_ = None;
    auto kept = waiting_.begin();
    for (TWaiting& w : waiting_) {
      if (w.position < base) continue;  // its bytes are gone
      if (w.end <= end) w.end = EndOf(bytes, base, w.position);  // the header may be new
      if (w.end <= end) {
        complete.push_back(w.position);
      } else {
        earliestEnd_ = std::min(earliestEnd_, w.end);
        *kept++ = w;
      }
    }
    waiting_.erase(kept, waiting_.end());
    inEndOrder_ = std::is_sorted(waiting_.begin(), waiting_.end(),
                                 [](const TWaiting& a, const TWaiting& b) { return a.end < b.end; });
    if (!complete.empty()) {
      std::deque<uint64_t> merged;
      std::merge(ready_.begin(), ready_.end(), complete.begin(), complete.end(), std::back_inserter(merged));
      ready_.swap(merged);
    }
  }
  // The new starts; a last "*" waits for the byte after it.
  uint64_t p = std::max({scanned_, base, floor_});
  while (p + 1 < end) {
    const char* from = bytes.data() + (p - base);
    const void* star = std::memchr(from, KorvanPrefix, end - 1 - p);
    if (!star) {
      p = end - 1;
      break;
    }
    p += static_cast<const char*>(star) - from;
    if (static_cast<uint8_t>(bytes[p - base + 1]) == KorvanFormat) {
      const uint64_t e = EndOf(bytes, base, p);
      if (e <= end) {
        ready_.push_back(p);
      } else {
        if (!waiting_.empty() && e < waiting_.back().end) inEndOrder_ = false;
        waiting_.push_back({p, e});
        earliestEnd_ = std::min(earliestEnd_, e);
      }
    }
    ++p;
  }
  scanned_ = std::max(scanned_, p);
}

void TFrameCandidates::DropBefore(uint64_t position) {
  if (position <= floor_) return;
  floor_ = position;
  while (!ready_.empty() && ready_.front() < position) ready_.pop_front();
  while (!waiting_.empty() && waiting_.front().position < position) waiting_.pop_front();
  if (waiting_.empty()) {
    earliestEnd_ = None;
    inEndOrder_ = true;
  }
  scanned_ = std::max(scanned_, position);
}

}  // namespace korvan
