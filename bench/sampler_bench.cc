// The sampler against the memory-bandwidth floor: one memcpy of the same pixel buffer, measured
// in the same run, beside each path of the sampler that this processor runs.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "capture/sampler.h"

namespace {

using corvane::SamplerPath;

std::vector<uint8_t> pixelBuffer(int32_t width, int32_t height) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 131);
  return pixels;
}

void sampleFrameBench(benchmark::State& state, SamplerPath path) {
  const auto width = static_cast<int32_t>(state.range(0));
  const auto height = static_cast<int32_t>(state.range(1));
  const auto rate = static_cast<uint64_t>(state.range(2));
  const std::vector<uint8_t> pixels = pixelBuffer(width, height);
  std::vector<uint8_t> frame(corvane::sampledFrameSize(width, height, rate));
  for (auto _ : state) {
    corvane::sampleFrameOn(path, pixels.data(), width, height, rate, frame.data());
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

int main(int argc, char** argv) {
  const std::vector<std::pair<int64_t, int64_t>> displays = {{1920, 1080}, {3840, 2160}};
  const std::vector<std::pair<const char*, SamplerPath>> paths = {{"plain", SamplerPath::Plain},
                                                                  {"ssse3", SamplerPath::Ssse3},
                                                                  {"avx2", SamplerPath::Avx2},
                                                                  {"neon", SamplerPath::Neon}};
  for (const auto& [width, height] : displays) {
    benchmark::RegisterBenchmark("memcpy", memcpyBench)->Args({width, height})->Unit(benchmark::kMicrosecond);
    for (const auto& [name, path] : paths) {
      if (!corvane::samplerPathRuns(path)) continue;
      // The vector paths differ from the plain one at rates 1 and 2 only.
      const std::vector<int64_t> rates =
          path == SamplerPath::Plain ? std::vector<int64_t>{1, 2, 4, 10, 16} : std::vector<int64_t>{1, 2};
      for (const int64_t rate : rates) {
        benchmark::RegisterBenchmark((std::string("sample/") + name).c_str(), sampleFrameBench, path)
            ->Args({width, height, rate})
            ->Unit(benchmark::kMicrosecond);
      }
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
