#include "capture/frame_copy.h"

#include <algorithm>
#include <cstring>

namespace corvane {
namespace {

uint32_t readPixel(const uint8_t* p, int bytes, bool mostSignificantFirst) {
  uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) {
    const uint32_t byte = p[mostSignificantFirst ? i : bytes - 1 - i];
    value = (value << 8) | byte;
  }
  return value;
}

// One channel, widened or narrowed to 8 bits.
struct Channel {
  explicit Channel(uint32_t mask) : mask(mask) {
    if (mask == 0) return;
    while (((mask >> shift) & 1) == 0) ++shift;
    max = mask >> shift;
  }
  uint8_t of(uint32_t pixel) const {
    if (max == 0) return 0;
    const uint32_t value = (pixel & mask) >> shift;
    return static_cast<uint8_t>(max == 0xff ? value : (value * 255 + max / 2) / max);
  }
  uint32_t mask;
  int shift = 0;
  uint32_t max = 0;
};

constexpr uint32_t fourcc(char a, char b, char c, char d) {
  return static_cast<uint32_t>(a) | static_cast<uint32_t>(b) << 8 | static_cast<uint32_t>(c) << 16 |
         static_cast<uint32_t>(d) << 24;
}

}  // namespace

std::optional<PixelFormat> shmPixelFormat(uint32_t format) {
  // Wayland's formats name channels from the most significant bit of a little-endian pixel.
  switch (format) {
    case 0:  // ARGB8888
    case 1:  // XRGB8888
      return PixelFormat{32, 0xff0000, 0x00ff00, 0x0000ff, false};
    case fourcc('A', 'B', '2', '4'):
    case fourcc('X', 'B', '2', '4'):
      return PixelFormat{32, 0x0000ff, 0x00ff00, 0xff0000, false};
    case fourcc('A', 'R', '3', '0'):
    case fourcc('X', 'R', '3', '0'):
      return PixelFormat{32, 0x3ff00000, 0x000ffc00, 0x000003ff, false};
    case fourcc('A', 'B', '3', '0'):
    case fourcc('X', 'B', '3', '0'):
      return PixelFormat{32, 0x000003ff, 0x000ffc00, 0x3ff00000, false};
    case fourcc('R', 'G', '2', '4'):
      return PixelFormat{24, 0xff0000, 0x00ff00, 0x0000ff, false};
    case fourcc('B', 'G', '2', '4'):
      return PixelFormat{24, 0x0000ff, 0x00ff00, 0xff0000, false};
    case fourcc('R', 'G', '1', '6'):
      return PixelFormat{16, 0xf800, 0x07e0, 0x001f, false};
    default:
      return std::nullopt;
  }
}

bool isBgrx(const PixelFormat& format) {
  return format.bitsPerPixel == 32 && !format.mostSignificantFirst && format.redMask == 0xff0000 &&
         format.greenMask == 0x00ff00 && format.blueMask == 0x0000ff;
}

PixelArea clipToScreen(const PixelArea& wanted, int32_t screenWidth, int32_t screenHeight) {
  // 64-bit, so that no corner overflows.
  const int64_t left = std::max<int64_t>(wanted.x, 0);
  const int64_t top = std::max<int64_t>(wanted.y, 0);
  const int64_t right = std::min<int64_t>(int64_t{wanted.x} + wanted.width, screenWidth);
  const int64_t bottom = std::min<int64_t>(int64_t{wanted.y} + wanted.height, screenHeight);
  if (right <= left || bottom <= top) return {};
  return {static_cast<int32_t>(left), static_cast<int32_t>(top), static_cast<int32_t>(right - left),
          static_cast<int32_t>(bottom - top)};
}

void copyIntoFrame(const uint8_t* source, size_t stride, const PixelFormat& format, int32_t width,
                   int32_t height, uint8_t* frame, int32_t frameWidth, int32_t left, int32_t top) {
  const size_t frameStride = static_cast<size_t>(frameWidth) * 4;
  uint8_t* firstRow = frame + static_cast<size_t>(top) * frameStride + static_cast<size_t>(left) * 4;
  if (isBgrx(format)) {
    for (int32_t y = 0; y < height; ++y) {
      std::memcpy(firstRow + y * frameStride, source + y * stride, static_cast<size_t>(width) * 4);
    }
    return;
  }
  const int bytes = format.bitsPerPixel / 8;
  const Channel red(format.redMask);
  const Channel green(format.greenMask);
  const Channel blue(format.blueMask);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* in = source + y * stride;
    uint8_t* out = firstRow + y * frameStride;
    for (int32_t x = 0; x < width; ++x, in += bytes, out += 4) {
      const uint32_t pixel = readPixel(in, bytes, format.mostSignificantFirst);
      out[0] = blue.of(pixel);
      out[1] = green.of(pixel);
      out[2] = red.of(pixel);
      out[3] = 0;
    }
  }
}

void copyImageIntoFrame(const ShmImage& image, int32_t width, int32_t height, uint8_t* frame,
                        int32_t frameWidth) {
  if (width <= 0 || height <= 0 || image.width <= 0 || image.height <= 0) return;
  const auto row = [&](int32_t y) {
    return image.pixels + static_cast<size_t>(image.flipped ? image.height - 1 - y : y) * image.stride;
  };
  if (image.width == width && image.height == height) {
    for (int32_t y = 0; y < height; ++y) {
      copyIntoFrame(row(y), image.stride, image.format, width, 1, frame, frameWidth, 0, y);
    }
    return;
  }
  const int bytes = image.format.bitsPerPixel / 8;
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* source = row(static_cast<int32_t>(int64_t{y} * image.height / height));
    for (int32_t x = 0; x < width; ++x) {
      const int64_t column = int64_t{x} * image.width / width;
      copyIntoFrame(source + column * bytes, image.stride, image.format, 1, 1, frame, frameWidth, x, y);
    }
  }
}

}  // namespace corvane
