// Turning a rectangle of screen pixels, in whatever format the X server or the compositor keeps
// them, into the
// capture's 32-bit top-down blue-green-red-reserved buffer. Platform-free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace corvane {

// A ZPixmap image format: bits per pixel (8, 16, 24 or 32), the channel masks of the visual and
// the byte order of multi-byte pixels.
struct PixelFormat {
  int bitsPerPixel = 32;
  uint32_t redMask = 0xff0000;
  uint32_t greenMask = 0x00ff00;
  uint32_t blueMask = 0x0000ff;
  bool mostSignificantFirst = false;
};

// The layout of a Wayland shared-memory buffer of that wl_shm format (0 and 1 for ARGB8888 and
// XRGB8888, DRM fourcc codes for the rest): 8-bit and 10-bit channels in either order, 24-bit and
// RGB565; nothing for any other format. Alpha is ignored.
std::optional<PixelFormat> shmPixelFormat(uint32_t format);

// Whether the format's bytes already are blue, green, red, reserved.
bool isBgrx(const PixelFormat& format);

struct PixelArea {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  bool empty() const { return width <= 0 || height <= 0; }
  bool operator==(const PixelArea& other) const {
    return x == other.x && y == other.y && width == other.width && height == other.height;
  }
};

// The part of wanted that lies on a screen of screenWidth x screenHeight pixels; X refuses to
// read outside it.
PixelArea clipToScreen(const PixelArea& wanted, int32_t screenWidth, int32_t screenHeight);

// Writes width x height source pixels (rows stride bytes apart) into frame, whose rows are
// frameWidth pixels, with the first at (left, top). Pixels of the frame outside stay as they are.
void copyIntoFrame(const uint8_t* source, size_t stride, const PixelFormat& format, int32_t width,
                   int32_t height, uint8_t* frame, int32_t frameWidth, int32_t left, int32_t top);

// A compositor's copy of an output's area: rows stride bytes apart, bottom row first when
// flipped, and more pixels than the area has in the layout when the output is scaled.
struct ShmImage {
  const uint8_t* pixels = nullptr;
  size_t stride = 0;
  PixelFormat format;
  int32_t width = 0;
  int32_t height = 0;
  bool flipped = false;
};

// Writes the image upright into the frame's top-left width x height pixels (its area in the
// layout), taking the nearest image pixel for each when the sizes differ.
void copyImageIntoFrame(const ShmImage& image, int32_t width, int32_t height, uint8_t* frame,
                        int32_t frameWidth);

}  // namespace corvane
