#pragma once
#include <cstdint>
#include <queue>
#include <set>
#include <string_view>
#include <vector>

namespace korvan {

// The "*a" frame starts of a byte stream that grows at its end and is cut at
// its front. A start is looked at once when it arrives and again only when the
// bytes its length field announces are all there, so a stream full of long
// announcements costs no rescans. Positions count from the stream's beginning
// and survive cutting its front.
class TFrameCandidates {
 public:
  static constexpr uint64_t None = UINT64_MAX;

  // The stream now holds `bytes`, whose first byte is at `base`: registers the
  // new starts and makes ready those that are complete now.
  void Update(std::string_view bytes, uint64_t base);
  // Forgets every start before the position (its bytes are gone or taken).
  void DropBefore(uint64_t position);
  // The lowest complete start, or None.
  uint64_t FirstReady() const;
  // The lowest start still waiting for its bytes, or None.
  uint64_t FirstWaiting() const;
  // Done with a ready start.
  void Resolve(uint64_t position);
  void Clear();

 private:
  struct TWaiting {
    uint64_t end;       // the stream length at which to look again
    uint64_t position;
    bool operator>(const TWaiting& o) const { return end > o.end; }
  };
  void Register(std::string_view bytes, uint64_t base, uint64_t position);

  std::priority_queue<TWaiting, std::vector<TWaiting>, std::greater<>> due_;
  std::set<uint64_t> waiting_;
  std::set<uint64_t> ready_;
  uint64_t scanned_ = 0;  // every start before this is registered
  uint64_t floor_ = 0;    // every start before this is forgotten
};

}  // namespace korvan
