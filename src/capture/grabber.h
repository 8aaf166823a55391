// Opens a display by device name and reads width x height pixels from its top-left corner as a
// 32-bit top-down blue-green-red-reserved buffer. Where the grab fails, the buffer is null or
// keeps its zero fill.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace corvane {

struct PixelBuffer {
  std::unique_ptr<uint8_t[]> bytes;  // null when nothing was read
  int32_t width = 0;
  int32_t height = 0;
};

class DisplayGrabber {
 public:
  virtual ~DisplayGrabber() = default;
  virtual PixelBuffer grab() = 0;
};

// The grabber of the platform this build runs on. Sizes must satisfy captureSizeFits.
std::unique_ptr<DisplayGrabber> openDisplayGrabber(const std::string& deviceName, int32_t width, int32_t height);

}  // namespace corvane
