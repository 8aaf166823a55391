// The Linux grabbers, one per backend; openDisplayGrabber (grabber_linux.cc) picks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capture/grabber.h"

namespace corvane {

std::unique_ptr<DisplayGrabber> openX11Grabber(const std::string& deviceName, int32_t width, int32_t height,
                                               uint64_t samplingRate);
// Sharing one shared-memory segment, as openDisplayGrabbersInTurn says.
std::vector<std::unique_ptr<DisplayGrabber>> openX11GrabbersInTurn(
    const std::vector<DisplayRequest>& displays, uint64_t samplingRate);

// Through wlr-screencopy, on a connection of its own. Null when the compositor answers but offers
// no wlr-screencopy; while no compositor answers, a grabber that keeps trying.
std::unique_ptr<DisplayGrabber> openScreencopyGrabber(const std::string& deviceName, int32_t width,
                                                      int32_t height);

}  // namespace corvane
