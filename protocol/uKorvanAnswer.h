#pragma once
// The search for a waiting request's answer among the bytes the line received.
#include <cstddef>
#include <cstdint>
#include <string>

#include "protocol/uKorvanCandidates.h"

namespace korvan {

// What a waiting request has received: the search for its answer, and the
// bytes set aside for the routing that follows it, in arrival order. A start
// whose frame is incomplete or invalid does not hide a valid frame behind it;
// a frame too short to carry SIG and code is never the answer. The set-aside
// bytes are cut as the routing's buffer would cut them, so a flood costs no
// more memory than the routing keeps anyway.
class TKorvanAnswerSearch {
 public:
  // Above `limit` set-aside bytes only the newest `trimmed` are kept.
  TKorvanAnswerSearch(uint8_t ADR, uint8_t SIG, size_t limit, size_t trimmed);

  // Bytes that were waiting before the request: never its answer.
  void SetAside(const std::string& bytes);
  // Newly received bytes; true when the answer is among them (then in reply).
  bool Add(const std::string& bytes, std::string& reply);
  // Everything received that is not the answer, in arrival order.
  std::string Rest() const;
  // The limit cut set-aside bytes: the routing would have dropped everything
  // older than the newest `trimmed` bytes of the rest too.
  bool Trimmed() const { return trimmed_; }

 private:
  bool IsAnswer(std::string_view frame) const;
  // Sets aside the searched bytes before rx_[upto].
  void SetAsideUpTo(size_t upto);
  void Bound();

  const uint8_t adr_, sig_;
  const size_t limit_, trimmed_size_;
  std::string other_;
  std::string rx_;       // rx_[head_..] may still hold the answer
  size_t head_ = 0;
  uint64_t base_ = 0;    // stream position of rx_[0]
  TFrameCandidates candidates_;
  bool trimmed_ = false;
};

}  // namespace korvan
