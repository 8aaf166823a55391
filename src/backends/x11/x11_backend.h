// What the X server gives the Linux module: the monitors of its default screen, their grabs and
// the pointer.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "capture/grabber.h"
#include "displays/monitor_list.h"
#include "mouse/cursor.h"

namespace corvane {

// Empty when no server answers.
std::vector<MonitorRecord> readX11Monitors();

std::unique_ptr<DisplayGrabber> openX11Grabber(const DisplayRequest& display, uint64_t samplingRate);
// Sharing one shared-memory segment, as openDisplayGrabbersInTurn says.
std::vector<std::unique_ptr<DisplayGrabber>> openX11GrabbersInTurn(
    const std::vector<DisplayRequest>& displays, uint64_t samplingRate);

CursorRead readX11Cursor();

}  // namespace corvane
