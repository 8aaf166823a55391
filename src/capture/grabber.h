// Opens a display by device name and reads width x height pixels from its top-left corner as a
// 32-bit top-down blue-green-red-reserved buffer, or, where the display server can sample, the
// samples of that area at the capture's rate. Each grab also tells whether it saw the display.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace corvane {

class DisplayGrabber {
 public:
  virtual ~DisplayGrabber() = default;
  // The pixels, valid until the next grab; null when nothing could be read. A read-out that fails
  // gives zeros.
  virtual const uint8_t* grab() = 0;
  // Writes the samples of the area at the capture's rate into out, which holds the whole frame
  // zero-filled, when the display server sampled them; false when this grabber reads whole
  // pictures, and grab() is to be called instead.
  virtual bool grabSampled(uint8_t* /*out*/) { return false; }

  // Why the last grab could not see the display (not opened, or not read), in words that follow
  // "capture of NAME through <way()>: "; empty when it saw the display, or cannot tell yet (a
  // portal that has not answered). A blind grab leaves the frame zero-filled.
  virtual std::string blindness() const = 0;
  // How the display is read: "GDI", "X11", "wlr-screencopy", "the desktop portal".
  virtual const char* way() const = 0;
};

struct DisplayRequest {
  std::string deviceName;
  int32_t width = 0;
  int32_t height = 0;
};

// The grabber of the platform this build runs on, for a capture at samplingRate. Sizes must
// satisfy captureSizeFits.
std::unique_ptr<DisplayGrabber> openDisplayGrabber(const std::string& deviceName, int32_t width,
                                                   int32_t height, uint64_t samplingRate);

// Grabbers of displays grabbed in turn, each picture read before the next grab of any of them, as
// a multi capture does: their pixels are valid only until then, since they may share one buffer
// (on X11 one shared-memory segment, the size of the largest display, rather than one each).
std::vector<std::unique_ptr<DisplayGrabber>> openDisplayGrabbersInTurn(
    const std::vector<DisplayRequest>& displays, uint64_t samplingRate);

}  // namespace corvane
