// Grabs of outputs through the desktop portal's ScreenCast, a PipeWire stream each: for Wayland
// desktops whose compositor offers no capture protocol of its own. The outputs of one capture
// share one portal session, so that the user is asked once for all of them.
#pragma once

#include <cstdint>
#include <memory>

#include "backends/portal/portal_choice.h"
#include "capture/grabber.h"

namespace corvane {

// A grabber per output, displays[i] of outputs[i]. Returns at once: the portal is asked on a thread
// of the session's own, and grabs give zeros until their stream's first frame (or for good, their
// blindness saying why). The last grabber's end cuts every wait short. Sizes must satisfy
// captureSizeFits.
std::vector<std::unique_ptr<DisplayGrabber>> openPortalGrabbers(const std::vector<PortalOutput>& outputs,
                                                                const std::vector<DisplayRequest>& displays,
                                                                uint64_t samplingRate);

}  // namespace corvane
