// Grabs of one output through the desktop portal's ScreenCast and a PipeWire stream: for Wayland
// desktops whose compositor offers no capture protocol of its own.
#pragma once

#include <cstdint>
#include <memory>

#include "backends/portal/portal_choice.h"
#include "capture/grabber.h"

namespace corvane {

// Returns at once: the portal is asked on a thread of the grabber's own, and grabs give zeros
// until the stream's first frame (or for good, their blindness saying why). The grabber's end
// cuts every wait short. Sizes must satisfy captureSizeFits.
std::unique_ptr<DisplayGrabber> openPortalGrabber(const PortalOutput& output, const DisplayRequest& display,
                                                  uint64_t samplingRate);

}  // namespace corvane
