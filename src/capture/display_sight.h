// Whether a capture sees each of its displays. A display that a grab cannot see gives
// zero-filled frames, which for a lighting app look like a dark picture: one line on standard
// error says so when a display turns blind (at the capture's first grab, or after grabs that saw
// it), not on every tick.
#pragma once

#include <string>
#include <utility>

#include "capture/grabber.h"

namespace corvane {

class DisplaySight {
 public:
  explicit DisplaySight(std::string deviceName) : deviceName_(std::move(deviceName)) {}

  // After each grab of the display's grabber: writes
  // "capture of NAME through WAY: WHY; frames are zero-filled" when it turned blind.
  void noteGrab(const DisplayGrabber& grabber);

 private:
  std::string deviceName_;
  bool blind_ = false;
};

}  // namespace corvane
