// The simulator's frame cutter: however the bytes are chunked, it cuts the
// same valid frames, each a piece of the stream, and holds bounded memory.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/uKorvan97.h"
#include "tools/korvan-sim/uFrameCutter.h"

using korvan::sim::TFrameCutter;

namespace {
void Require(bool condition) {
  if (!condition) std::abort();
}

std::vector<std::string> CutAll(std::string_view stream, size_t chunk) {
  TFrameCutter cutter;
  std::vector<std::string> frames;
  for (size_t at = 0; at < stream.size(); at += chunk)
    for (std::string& f : cutter.Feed(stream.substr(at, chunk))) frames.push_back(std::move(f));
  for (std::string& f : cutter.Expire()) frames.push_back(std::move(f));
  Require(cutter.Pending() == 0);
  return frames;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t chunk = data[0] % 16 + 1;
  const std::string_view stream(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::vector<std::string> whole = CutAll(stream, stream.size() + 1);
  Require(CutAll(stream, chunk) == whole);
  size_t from = 0;
  for (const std::string& frame : whole) {
    Require(frame.size() >= 9 && korvan::CheckPacket(frame) == 0);
    const size_t at = stream.find(frame, from);
    Require(at != std::string_view::npos);
    from = at + frame.size();
  }
  return 0;
}
