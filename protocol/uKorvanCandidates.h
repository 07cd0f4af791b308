#pragma once
// The frame starts in a received byte stream, looked at without rescans.
#include <cstdint>
#include <deque>
#include <string_view>

namespace korvan {

// The "*a" frame starts of a byte stream that grows at its end and is cut at
// its front. A start is looked at when it arrives; one whose announced bytes
// are not all there waits, and the waiting starts are looked at again only
// once the stream has reached the end of the earliest of them. So a stream
// full of long announcements costs no rescans. Positions count from the
// stream's beginning and survive cutting its front.
class TFrameCandidates {
 public:
  static constexpr uint64_t None = UINT64_MAX;

  // The stream now holds `bytes`, whose first byte is at `base`: registers the
  // new starts and makes ready those that are complete now.
  void Update(std::string_view bytes, uint64_t base);
  // Forgets every start before the position (its bytes are gone or taken).
  void DropBefore(uint64_t position);
  // The lowest complete start, or None.
  uint64_t FirstReady() const { return ready_.empty() ? None : ready_.front(); }
  // The lowest start still waiting for its bytes, or None.
  uint64_t FirstWaiting() const { return waiting_.empty() ? None : waiting_.front().position; }
  // Done with the lowest complete start.
  void ResolveFirst() { ready_.pop_front(); }
  void Clear() { *this = TFrameCandidates(); }

 private:
  struct TWaiting {
    uint64_t position;
    uint64_t end;  // the stream length at which its frame is complete
  };
  // The end of the frame announced at the position (its header's end while the
  // length field is not there yet).
  static uint64_t EndOf(std::string_view bytes, uint64_t base, uint64_t position);

  std::deque<TWaiting> waiting_;  // both in position order
  std::deque<uint64_t> ready_;
  uint64_t earliestEnd_ = None;   // of the waiting starts
  bool inEndOrder_ = true;        // the waiting starts' ends rise with their positions
  uint64_t scanned_ = 0;          // every start before this is registered
  uint64_t floor_ = 0;            // every start before this is forgotten
};

}  // namespace korvan
