// The outputs of the Wayland compositor, as monitor records.
#pragma once

#include <vector>

#include "common/wayland_desktop.h"
#include "displays/monitor_layout.h"

namespace corvane {

// In the compositor's order of outputs; empty when no compositor answers.
std::vector<MonitorRecord> readWaylandMonitors();
std::vector<MonitorRecord> waylandMonitors(const WaylandDesktop& desktop);

}  // namespace corvane
