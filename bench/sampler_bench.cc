// The sampler against the memory-bandwidth floor: one memcpy of the same pixel buffer, measured
// in the same run.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "capture/sampler.h"

namespace {

std::vector<uint8_t> pixelBuffer(int32_t width, int32_t height) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 131);
  return pixels;
}

void sampleFrameBench(benchmark::State& state) {
  const auto width = static_cast<int32_t>(state.range(0));
  const auto height = static_cast<int32_t>(state.range(1));
  const auto rate = static_cast<uint64_t>(state.range(2));
  const std::vector<uint8_t> pixels = pixelBuffer(width, height);
  std::vector<uint8_t> frame(corvane::sampledFrameSize(width, height, rate));
  for (auto _ : state) {
    corvane::sampleFrame(pixels.data(), width, height, rate, frame.data());
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
  state.counters["frame_bytes"] = static_cast<double>(frame.size());
}

void memcpyBench(benchmark::State& state) {
  const auto width = static_cast<int32_t>(state.range(0));
  const auto height = static_cast<int32_t>(state.range(1));
  const std::vector<uint8_t> pixels = pixelBuffer(width, height);
  std::vector<uint8_t> copy(pixels.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), pixels.data(), pixels.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(pixels.size()));
}

}  // namespace

BENCHMARK(memcpyBench)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMicrosecond);
BENCHMARK(sampleFrameBench)
    ->ArgsProduct({{1920}, {1080}, {1, 4, 10, 16}})
    ->ArgsProduct({{3840}, {2160}, {1, 4, 10, 16}})
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
