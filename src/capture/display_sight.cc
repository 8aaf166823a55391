#include "capture/display_sight.h"

#include "common/diagnostics.h"

namespace corvane {

void DisplaySight::noteGrab(const DisplayGrabber& grabber) {
  const std::string why = grabber.blindness();
  if (!why.empty() && !blind_) {
    writeDiagnosticLine("capture of " + deviceName_ + " through " + grabber.way() + ": " + why +
                        "; frames are zero-filled");
  }
  blind_ = !why.empty();
}

}  // namespace corvane
