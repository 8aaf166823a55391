// Down-sampling of a 32-bit top-down blue-green-red-reserved pixel buffer into RGB samples: the
// top-left pixel of every samplingRate x samplingRate block, rows top to bottom.
#pragma once

#include <cstdint>
#include <memory>

namespace corvane {

constexpr uint64_t kMaxSamplingRate = 2147483647;

struct SampledFrame {
  std::unique_ptr<uint8_t[]> bytes;
  uint64_t size = 0;

  // A zero-filled frame of size bytes; its bytes are null when they cannot be allocated.
  static SampledFrame zeroed(uint64_t size);
  bool allocated() const { return bytes != nullptr; }
};

// Bytes of the frame for the sample grid: ceil(width / rate) x ceil(height / rate) x 3, and 0 for
// a width or height of 0. Needs 1 <= samplingRate <= kMaxSamplingRate and non-negative sides.
uint64_t sampledFrameSize(int32_t width, int32_t height, uint64_t samplingRate);

// Writes the samples of pixels (width x height x 4 bytes) into out, which holds
// sampledFrameSize(width, height, samplingRate) bytes. Reads nothing outside pixels, and at rates
// above 2 only the pixels on the grid. Null pixels (nothing was read) leave out as it is.
void sampleFrame(const uint8_t* pixels, int32_t width, int32_t height, uint64_t samplingRate, uint8_t* out);

// Writes the samples of every samplingRate-th pixel of each of the rows of pixels (width x rows x 4
// bytes): the grid of a picture whose rows were picked already, as sampleFrame would sample them.
void sampleColumns(const uint8_t* pixels, int32_t width, int32_t rows, uint64_t samplingRate, uint8_t* out);

// How the bytes are reordered: a plain loop, or shuffles of the processor's vector extensions at
// rates 1 and 2. Every path writes the same bytes; sampleFrame takes the fastest that runs here.
enum class SamplerPath { Plain, Ssse3, Avx2, Neon };
bool samplerPathRuns(SamplerPath path);
// sampleFrame on the given path, which must run here; for the tests and the benchmark.
void sampleFrameOn(SamplerPath path, const uint8_t* pixels, int32_t width, int32_t height,
                   uint64_t samplingRate, uint8_t* out);

// Whether a width x height capture is within bounds: non-negative sides whose 32-bit pixel buffer
// size fits in a signed 32-bit count.
bool captureSizeFits(int32_t width, int32_t height);

}  // namespace corvane
