// Frame building and frame cutting, each next to a plain copy of the same
// bytes in the same run, so the figures read as "how many copies' worth".
//
//   BM_BuildPacket/<data bytes>              vs BM_BuildPacket_BaselineStringCopy/<data bytes>
//   BM_WalkCheckParse/<frames>/<data bytes>  vs BM_WalkCheckParse_BaselineMemcpy/...
//   BM_ExtractRemoveCheckParse/...           vs BM_ExtractRemoveCheckParse_BaselineStringCopy/...
//
// The walk is what a reader of a receive buffer can do without touching it
// (CompletePacketLength with an offset); ExtractPacket(remove) cuts each frame
// off the front of a copy, as a receive routine that owns its buffer does.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <string_view>

#include "protocol/uKorvan97.h"

using namespace korvan;

namespace {

std::string Data(size_t n) {
  std::string data(n, '\0');
  for (size_t i = 0; i < n; ++i) data[i] = static_cast<char>(i * 7 + 0x0D);  // includes 0x0D and 0x2A
  return data;
}

std::string BackToBackFrames(int frames, size_t dataSize) {
  std::string buffer;
  const std::string data = Data(dataSize);
  for (int i = 0; i < frames; ++i) buffer += BuildPacket(0x31, static_cast<uint8_t>(i), 0x00, data);
  return buffer;
}

// Sizes: the data-less identification request, a range answer, larger blocks.
void DataSizes(benchmark::internal::Benchmark* b) {
  for (int n : {0, 8, 256, 4096}) b->Arg(n);
}

// Frame counts and data sizes of a receive buffer.
void BufferShapes(benchmark::internal::Benchmark* b) {
  b->Args({100, 8})->Args({1000, 8})->Args({100, 256});
}

void BM_BuildPacket(benchmark::State& state) {
  const std::string data = Data(static_cast<size_t>(state.range(0)));
  uint8_t sig = 0;
  for (auto _ : state) {
    std::string frame = BuildPacket(0x31, ++sig, 0x1B, data);
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(data.size() + 9));
}
BENCHMARK(BM_BuildPacket)->Apply(DataSizes);

void BM_BuildPacket_BaselineStringCopy(benchmark::State& state) {
  const std::string frame = BuildPacket(0x31, 1, 0x1B, Data(static_cast<size_t>(state.range(0))));
  for (auto _ : state) {
    std::string copy(frame);
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(frame.size()));
}
BENCHMARK(BM_BuildPacket_BaselineStringCopy)->Apply(DataSizes);

void BM_WalkCheckParse(benchmark::State& state) {
  const int frames = static_cast<int>(state.range(0));
  const std::string buffer = BackToBackFrames(frames, static_cast<size_t>(state.range(1)));
  const std::string_view view(buffer);
  for (auto _ : state) {
    int parsed = 0;
    size_t offset = 0;
    while (const size_t n = CompletePacketLength(view, offset)) {
      const std::string_view frame = view.substr(offset, n);
      if (CheckPacket(frame) == 0) {
        TKorvanFormat97 p = ParsePacket(frame);
        benchmark::DoNotOptimize(p.data.data());
        ++parsed;
      }
      offset += n;
    }
    if (parsed != frames) state.SkipWithError("frames lost");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(buffer.size()));
}
BENCHMARK(BM_WalkCheckParse)->Apply(BufferShapes);

void BM_WalkCheckParse_BaselineMemcpy(benchmark::State& state) {
  const std::string buffer =
      BackToBackFrames(static_cast<int>(state.range(0)), static_cast<size_t>(state.range(1)));
  std::string target(buffer.size(), '\0');
  for (auto _ : state) {
    std::memcpy(target.data(), buffer.data(), buffer.size());
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(buffer.size()));
}
BENCHMARK(BM_WalkCheckParse_BaselineMemcpy)->Apply(BufferShapes);

void BM_ExtractRemoveCheckParse(benchmark::State& state) {
  const int frames = static_cast<int>(state.range(0));
  const std::string buffer = BackToBackFrames(frames, static_cast<size_t>(state.range(1)));
  for (auto _ : state) {
    std::string work = buffer;
    int parsed = 0;
    for (std::string frame; !(frame = ExtractPacket(work, true)).empty();) {
      if (CheckPacket(frame) == 0) {
        TKorvanFormat97 p = ParsePacket(frame);
        benchmark::DoNotOptimize(p.data.data());
        ++parsed;
      }
    }
    if (parsed != frames || !work.empty()) state.SkipWithError("frames lost");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(buffer.size()));
}
BENCHMARK(BM_ExtractRemoveCheckParse)->Apply(BufferShapes);

void BM_ExtractRemoveCheckParse_BaselineStringCopy(benchmark::State& state) {
  const std::string buffer =
      BackToBackFrames(static_cast<int>(state.range(0)), static_cast<size_t>(state.range(1)));
  for (auto _ : state) {
    std::string work = buffer;
    benchmark::DoNotOptimize(work.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(buffer.size()));
}
BENCHMARK(BM_ExtractRemoveCheckParse_BaselineStringCopy)->Apply(BufferShapes);

}  // namespace

BENCHMARK_MAIN();
