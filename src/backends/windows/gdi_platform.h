// The graphics-device calls that a display grab makes, one method each, so that the grab runs the
// same way on the real desktop and on the simulated one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace corvane {

using GdiContext = void*;
using GdiObject = void*;

// The read-out header, field for field a BITMAPINFOHEADER.
struct DibHeader {
  uint32_t size = 40;
  int32_t width = 0;
  int32_t height = 0;  // negative: rows top-down
  uint16_t planes = 1;
  uint16_t bitCount = 32;
  uint32_t compression = 0;  // BI_RGB
  uint32_t sizeImage = 0;
  int32_t xPelsPerMeter = 0;
  int32_t yPelsPerMeter = 0;
  uint32_t clrUsed = 0;
  uint32_t clrImportant = 0;
};
static_assert(sizeof(DibHeader) == 40, "DibHeader must match BITMAPINFOHEADER");

// A 32-bit top-down DIB of width x height.
inline DibHeader topDownDib32(int32_t width, int32_t height) {
  DibHeader header;
  header.width = width;
  header.height = -height;
  return header;
}

struct DisplaySize {
  int32_t width = 0;
  int32_t height = 0;
};

class GdiPlatform {
 public:
  virtual ~GdiPlatform() = default;

  // The size of the monitor that goes by this device name (as getMonitors lists it), if one does.
  // Windows opens no display context for another name, but Wine opens one of the whole screen.
  virtual std::optional<DisplaySize> findDisplay(const std::string& deviceName) = 0;
  // Each returns null on failure.
  virtual GdiContext createDisplayContext(const std::string& deviceName) = 0;
  virtual GdiContext createCompatibleContext(GdiContext display) = 0;
  virtual GdiObject createCompatibleBitmap(GdiContext display, int32_t width, int32_t height) = 0;
  // A 32-bit top-down DIB section of width x height, whose pixels GDI writes in place at *bits.
  virtual GdiObject createDibSection(GdiContext display, int32_t width, int32_t height, uint8_t** bits) = 0;
  virtual GdiObject selectObject(GdiContext context, GdiObject object) = 0;
  // Copies (0, sourceY, width, height) of source to (0, targetY) of target; false on failure.
  virtual bool bitBlt(GdiContext target, int32_t targetY, int32_t width, int32_t height, GdiContext source,
                      int32_t sourceY) = 0;
  // Finishes this thread's batched drawing, so that a DIB section's pixels can be read.
  virtual void flush() = 0;
  // Reads scan lines 0 to lines - 1 of bitmap into pixels, in the format of header; returns the
  // number of lines read, 0 on failure.
  virtual int32_t getDIBits(GdiContext context, GdiObject bitmap, int32_t lines, uint8_t* pixels,
                            DibHeader& header) = 0;
  virtual void deleteObject(GdiObject object) = 0;
  virtual void deleteContext(GdiContext context) = 0;
};

// The platform this build runs on. Used by capture workers up to their last tick at process exit.
GdiPlatform& gdiPlatform();

}  // namespace corvane
