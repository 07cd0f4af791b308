#include "protocol/uKorvanAnswer.h"

#include "protocol/uKorvan97.h"

namespace korvan {

TKorvanAnswerSearch::TKorvanAnswerSearch(uint8_t ADR, uint8_t SIG, size_t limit, size_t trimmed)
    : adr_(ADR), sig_(SIG), limit_(limit), trimmed_size_(trimmed) {}

void TKorvanAnswerSearch::SetAside(const std::string& bytes) {
  other_ += bytes;
  Bound();
}

bool TKorvanAnswerSearch::IsAnswer(std::string_view frame) const {
  if (frame.size() < 9) return false;
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(frame[i]); };
  const bool notAnAnswer = byte(6) >= 12 && byte(6) <= 15;
  return byte(5) == sig_ && !notAnAnswer && (adr_ == KorvanUniversalAddress || byte(4) == adr_);
}

void TKorvanAnswerSearch::SetAsideUpTo(size_t upto) {
  if (upto <= head_) return;
  other_.append(rx_, head_, upto - head_);
  head_ = upto;
  candidates_.DropBefore(base_ + head_);
}

bool TKorvanAnswerSearch::Add(const std::string& bytes, std::string& reply) {
  rx_ += bytes;
  const std::string_view all(rx_);
  candidates_.Update(all, base_);
  for (uint64_t p = candidates_.FirstReady(); p != TFrameCandidates::None; p = candidates_.FirstReady()) {
    candidates_.ResolveFirst();
    const size_t at = p - base_;
    const size_t length = CompletePacketLength(all, at);
    if (length == 0 || !IsValidPacket(all.substr(at, length))) continue;
    const std::string_view frame = all.substr(at, length);
    if (IsAnswer(frame)) {
      SetAsideUpTo(at);
      reply.assign(frame);
      head_ = at + length;
      candidates_.DropBefore(base_ + head_);
      Bound();
      return true;
    }
    // Someone else's frame: it and everything before it go to the routing.
    SetAsideUpTo(at + length);
  }
  // Keep what may still become a frame (a last "*" too); the rest is set aside.
  size_t keep = rx_.size();
  if (const uint64_t waiting = candidates_.FirstWaiting(); waiting != TFrameCandidates::None)
    keep = waiting - base_;
  else if (!rx_.empty() && static_cast<uint8_t>(rx_.back()) == KorvanPrefix)
    keep = rx_.size() - 1;
  SetAsideUpTo(keep);
  Bound();
  return false;
}

void TKorvanAnswerSearch::Bound() {
  if (other_.size() > limit_) {
    other_.erase(0, other_.size() - trimmed_size_);
    trimmed_ = true;
  }
  // The searched front goes once it is the larger part: no copy per chunk.
  if (head_ > 0 && head_ >= rx_.size() / 2) {
    rx_.erase(0, head_);
    base_ += head_;
    head_ = 0;
  }
}

std::string TKorvanAnswerSearch::Rest() const {
  std::string rest;
  rest.reserve(other_.size() + rx_.size() - head_);
  rest.append(other_).append(rx_, head_, std::string::npos);
  return rest;
}

}  // namespace korvan
