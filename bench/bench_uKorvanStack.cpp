// The stack's receive processing (TKorvanStack::ProcessReceived, one device on
// the stack, no line attached) over one chunk of 16 KiB and of 128 KiB, next
// to a baseline in the same run:
//
//   BM_StackFrames/<bytes>  vs BM_StackFrames_BaselineExtractCheck/<bytes>
//   BM_StackNoise/<bytes>   vs BM_StackNoise_BaselineFindPrefix/<bytes>
//
// The frames are range answers (8 data bytes, 17 bytes a frame) addressed to
// the device, back to back. Their baseline cuts and checks the same frames one
// by one (ExtractPacket without removing, then CheckPacket), so the difference
// is what the stack adds: its buffer, parsing and routing to the device.
// Noise is random bytes; the stack keeps noise until a frame turns up, so each
// noise pass starts on a new stack. Its baseline only looks for every "*a".
// Equal bytes per second at both sizes means the cost per byte stays flat.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/uKorvan97.h"
#include "protocol/uKorvanStack.h"
#include "protocol/uKorvanStackDevice.h"

using namespace korvan;

namespace {

constexpr uint8_t Address = 0x31;

std::vector<std::string> Frames(size_t bytes) {
  const std::string data = "\x01\x01\x02\x2A\x03\x0D\x04\x02";  // includes "*" and CR
  std::vector<std::string> frames;
  size_t total = 0;
  for (int i = 0;; ++i) {
    std::string frame = BuildPacket(Address, static_cast<uint8_t>(i), 0x00, data);
    if (total + frame.size() > bytes) break;
    total += frame.size();
    frames.push_back(std::move(frame));
  }
  return frames;
}

std::string Joined(const std::vector<std::string>& frames) {
  std::string all;
  for (const auto& f : frames) all += f;
  return all;
}

std::string Noise(size_t bytes) {
  std::mt19937 random(97);
  std::string noise(bytes, '\0');
  for (char& c : noise) c = static_cast<char>(random() & 0xFF);
  return noise;
}

// A stack with one device, torn down again at the end of the benchmark.
struct TStackWithDevice {
  TRef<TKorvanStack> stack = CreateObject<TKorvanStack>();
  TRef<TKorvanStackDevice> device = CreateObject<TKorvanStackDevice>(Address);
  TStackWithDevice() { device->SetStack(stack.get()); }
  ~TStackWithDevice() { device->SetStack(nullptr); }
};

void Sizes(benchmark::internal::Benchmark* b) { b->Arg(16 * 1024)->Arg(128 * 1024); }

void BM_StackFrames(benchmark::State& state) {
  const std::vector<std::string> frames = Frames(static_cast<size_t>(state.range(0)));
  const std::string chunk = Joined(frames);
  TStackWithDevice s;
  for (auto _ : state) {
    s.stack->ProcessReceived(chunk);
    benchmark::ClobberMemory();
  }
  if (s.stack->BufferedCount() != 0) state.SkipWithError("frames were left in the buffer");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(chunk.size()));
  state.counters["frames"] = benchmark::Counter(static_cast<double>(frames.size()) * state.iterations(),
                                                benchmark::Counter::kIsRate);
}
BENCHMARK(BM_StackFrames)->Apply(Sizes);

void BM_StackFrames_BaselineExtractCheck(benchmark::State& state) {
  std::vector<std::string> frames = Frames(static_cast<size_t>(state.range(0)));
  size_t bytes = 0;
  for (const auto& f : frames) bytes += f.size();
  for (auto _ : state) {
    int valid = 0;
    for (std::string& f : frames) {
      const std::string frame = ExtractPacket(f, false);
      valid += CheckPacket(frame) == 0 ? 1 : 0;
    }
    benchmark::DoNotOptimize(valid);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
  state.counters["frames"] = benchmark::Counter(static_cast<double>(frames.size()) * state.iterations(),
                                                benchmark::Counter::kIsRate);
}
BENCHMARK(BM_StackFrames_BaselineExtractCheck)->Apply(Sizes);

void BM_StackNoise(benchmark::State& state) {
  const std::string noise = Noise(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    {
      TStackWithDevice s;
      state.ResumeTiming();
      s.stack->ProcessReceived(noise);
      benchmark::ClobberMemory();
      state.PauseTiming();
    }
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(noise.size()));
}
BENCHMARK(BM_StackNoise)->Apply(Sizes);

void BM_StackNoise_BaselineFindPrefix(benchmark::State& state) {
  const std::string noise = Noise(static_cast<size_t>(state.range(0)));
  const std::string_view view(noise);
  for (auto _ : state) {
    int starts = 0;
    for (size_t p = view.find("*a"); p != std::string_view::npos; p = view.find("*a", p + 1)) ++starts;
    benchmark::DoNotOptimize(starts);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(noise.size()));
}
BENCHMARK(BM_StackNoise_BaselineFindPrefix)->Apply(Sizes);

}  // namespace

BENCHMARK_MAIN();
