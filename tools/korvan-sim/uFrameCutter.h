#pragma once
// Cuts request frames out of the bytes a simulated module receives, as the module's receiver does.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvan::sim {

// Cuts request frames out of the bytes a module receives, in whatever chunks
// they arrive, the way the module's receiver walks the line: from the first
// "*a" it collects the frame its length field announces; a complete frame
// that is valid (length field of at least 5, checksum, terminator) is a
// request, anything else costs one byte and the search goes on. A frame
// embedded in another frame's data is therefore never cut out on its own.
//
// An unfinished frame holds back what follows until it completes, so a false
// start with a long length field in the noise would wait for up to 64 KiB;
// Expire, called when the line has gone quiet, plays the module's inter-byte
// time-out and gives up on it.
//
// Linear in the bytes: checksums come from running sums, so each start is
// checked in constant time, and consumed bytes are dropped in blocks. One
// cutter per line; not thread-safe.
class TFrameCutter {
 public:
  // The frames these bytes complete, in stream order.
  std::vector<std::string> Feed(std::string_view bytes);
  // Takes the unfinished frame, if any, as noise; returns the frames found
  // behind its start. Afterwards nothing is pending.
  std::vector<std::string> Expire();
  // Forgets everything received so far.
  void Clear();

  // Bytes received but not yet consumed: the start of a frame.
  size_t Pending() const { return static_cast<size_t>(End() - pos_); }
  // Bytes held in memory.
  size_t Buffered() const { return buf_.size(); }

 private:
  uint64_t End() const { return base_ + buf_.size(); }
  uint8_t At(uint64_t pos) const { return static_cast<uint8_t>(buf_[pos - base_]); }
  bool Valid(uint64_t pos, uint64_t end) const;
  // Consumes noise and frames from pos_ until a frame has to wait for more.
  void Cut(std::vector<std::string>& frames);
  void Compact();

  std::string buf_;
  // sums_[i]: 8-bit sum of the stream up to base_ + i.
  std::vector<uint8_t> sums_{0};
  uint64_t base_ = 0;  // stream offset of buf_[0]
  uint64_t pos_ = 0;   // everything before it is consumed
};

}  // namespace korvan::sim
