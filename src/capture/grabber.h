// Opens a display by device name and fills each tick's sampled frame of its width x height area,
// from its top-left corner, at the capture's rate. Each backend decides how: its display server
// samples, or it reads whole pictures and the client samples them (PictureGrabber). Each grab
// also tells whether it saw the display.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace corvane {

class DisplayGrabber {
 public:
  virtual ~DisplayGrabber() = default;
  // Writes the area's samples into frame, which holds the whole sampled frame zero-filled; a grab
  // that does not see the display leaves it so.
  virtual void grab(uint8_t* frame) = 0;

  // Why the last grab could not see the display (not opened, or not read), in words that follow
  // "capture of NAME through <way()>: "; empty when it saw the display, or cannot tell yet (a
  // portal that has not answered).
  virtual std::string blindness() const = 0;
  // How the display is read: "GDI", "X11", "wlr-screencopy", "the desktop portal".
  virtual const char* way() const = 0;
};

// A grabber that reads whole 32-bit top-down blue-green-red-reserved pictures, sampled here.
class PictureGrabber : public DisplayGrabber {
 public:
  PictureGrabber(int32_t width, int32_t height, uint64_t samplingRate)
      : width_(width), height_(height), samplingRate_(samplingRate) {}
  void grab(uint8_t* frame) final;

 protected:
  // The pixels, valid until the next read; null when nothing could be read.
  virtual const uint8_t* readPicture() = 0;

  int32_t width() const { return width_; }
  int32_t height() const { return height_; }

 private:
  int32_t width_;
  int32_t height_;
  uint64_t samplingRate_;
};

struct DisplayRequest {
  std::string deviceName;
  int32_t width = 0;
  int32_t height = 0;
};

// The grabber of the platform this build runs on, for a capture at samplingRate. Sizes must
// satisfy captureSizeFits.
std::unique_ptr<DisplayGrabber> openDisplayGrabber(const DisplayRequest& display, uint64_t samplingRate);

// Grabbers of displays grabbed in turn, each frame filled before the next grab of any of them, as
// a multi capture does: they may share one buffer (on X11 one shared-memory segment, the size of
// the largest display, rather than one each).
std::vector<std::unique_ptr<DisplayGrabber>> openDisplayGrabbersInTurn(
    const std::vector<DisplayRequest>& displays, uint64_t samplingRate);

}  // namespace corvane
