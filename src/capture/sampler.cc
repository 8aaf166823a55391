#include "capture/sampler.h"

#include <climits>
#include <new>

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

void sampleFrame(const uint8_t* pixels, int32_t width, int32_t height, uint64_t samplingRate, uint8_t* out) {
  if (pixels == nullptr || width <= 0 || height <= 0) return;
  const size_t step = static_cast<size_t>(samplingRate);
  const size_t rowBytes = static_cast<size_t>(width) * 4;
  for (size_t y = 0; y < static_cast<size_t>(height); y += step) {
    const uint8_t* row = pixels + y * rowBytes;
    for (size_t x = 0; x < static_cast<size_t>(width); x += step) {
      const uint8_t* pixel = row + x * 4;
      out[0] = pixel[2];
      out[1] = pixel[1];
      out[2] = pixel[0];
      out += 3;
    }
  }
}

bool captureSizeFits(int32_t width, int32_t height) {
  if (width < 0 || height < 0) return false;
  if (width == 0 || height == 0) return true;
  return width <= INT32_MAX / 4 / height;
}

}  // namespace corvane
