// The monitor list as USER32 and GDI give it: the window manager's monitors, each opened by its
// device name for its sizes.
#pragma once

#include <vector>

#include "backends/windows/display_platform.h"
#include "displays/monitor_list.h"

namespace corvane {

// Empties records, then appends one record per monitor in enumeration order. A monitor whose
// info query fails is left out: it has no device name to be opened by.
void collectMonitors(DisplayPlatform& platform, std::vector<MonitorRecord>& records);

}  // namespace corvane
