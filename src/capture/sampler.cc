#include "capture/sampler.h"

#include <climits>
#include <initializer_list>
#include <new>

#include "capture/sampler_vectors.h"

namespace corvane {

SampledFrame SampledFrame::zeroed(uint64_t size) {
  SampledFrame frame;
  // Sizes come from the caller's display object; a frame too large for memory skips its tick
  // instead of ending the process.
  frame.bytes.reset(new (std::nothrow) uint8_t[size]());
  frame.size = size;
  return frame;
}

uint64_t sampledFrameSize(int32_t width, int32_t height, uint64_t samplingRate) {
  if (width <= 0 || height <= 0) return 0;
  const uint64_t columns = (static_cast<uint64_t>(width) - 1 + samplingRate) / samplingRate;
  const uint64_t rows = (static_cast<uint64_t>(height) - 1 + samplingRate) / samplingRate;
  return columns * rows * 3;
}

namespace {

// Samples pixels first to last, every step-th; returns where out ends.
uint8_t* samplePlain(const uint8_t* pixels, size_t first, size_t last, size_t step, uint8_t* out) {
  for (size_t x = first; x < last; x += step) {
    const uint8_t* pixel = pixels + x * 4;
    out[0] = pixel[2];
    out[1] = pixel[1];
    out[2] = pixel[0];
    out += 3;
  }
  return out;
}

// A run through vectors, then what is left of it one sample at a time.
uint8_t* sampleRun(SampleRun vectors, const uint8_t* pixels, size_t available, size_t step, uint8_t* out) {
  const size_t done = vectors(pixels, available, step, out);
  return samplePlain(pixels, done * step, available, step, out + done * 3);
}

// Every rowStep-th of the rows of pixels, every columnStep-th pixel of each, through vectors
// where given.
void sampleRows(SampleRun vectors, const uint8_t* pixels, int32_t width, int32_t rows, size_t rowStep,
                size_t columnStep, uint8_t* out) {
  const size_t rowBytes = static_cast<size_t>(width) * 4;
  for (size_t y = 0; y < static_cast<size_t>(rows); y += rowStep) {
    const uint8_t* row = pixels + y * rowBytes;
    out = vectors != nullptr ? sampleRun(vectors, row, static_cast<size_t>(width), columnStep, out)
                             : samplePlain(row, 0, static_cast<size_t>(width), columnStep, out);
  }
}

SamplerPath fastestPath() {
  static const SamplerPath path = [] {
    for (const SamplerPath fast : {SamplerPath::Avx2, SamplerPath::Ssse3, SamplerPath::Neon}) {
      if (vectorRun(fast) != nullptr) return fast;
    }
    return SamplerPath::Plain;
  }();
  return path;
}

}  // namespace

bool samplerPathRuns(SamplerPath path) { return path == SamplerPath::Plain || vectorRun(path) != nullptr; }

void sampleFrameOn(SamplerPath path, const uint8_t* pixels, int32_t width, int32_t height,
                   uint64_t samplingRate, uint8_t* out) {
  if (pixels == nullptr || width <= 0 || height <= 0) return;
  const SampleRun vectors = samplingRate <= 2 ? vectorRun(path) : nullptr;
  const auto step = static_cast<size_t>(samplingRate);
  if (vectors != nullptr && samplingRate == 1) {
    // Every pixel, so the rows make one run.
    sampleRun(vectors, pixels, static_cast<size_t>(width) * static_cast<size_t>(height), 1, out);
  } else {
    sampleRows(vectors, pixels, width, height, step, step, out);
  }
}

void sampleFrame(const uint8_t* pixels, int32_t width, int32_t height, uint64_t samplingRate, uint8_t* out) {
  sampleFrameOn(fastestPath(), pixels, width, height, samplingRate, out);
}

void sampleColumns(const uint8_t* pixels, int32_t width, int32_t rows, uint64_t samplingRate, uint8_t* out) {
  if (pixels == nullptr || width <= 0 || rows <= 0) return;
  const SampleRun vectors = samplingRate <= 2 ? vectorRun(fastestPath()) : nullptr;
  sampleRows(vectors, pixels, width, rows, 1, static_cast<size_t>(samplingRate), out);
}

bool captureSizeFits(int32_t width, int32_t height) {
  if (width < 0 || height < 0) return false;
  if (width == 0 || height == 0) return true;
  return width <= INT32_MAX / 4 / height;
}

}  // namespace corvane
