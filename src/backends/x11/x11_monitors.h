// The monitors of the X screen, read with RandR and Xinerama.
#pragma once

#include <vector>

#include "backends/x11/x11_session.h"
#include "displays/monitor_layout.h"

namespace corvane {

// In RandR's order (see chooseMonitors); empty when the server cannot be asked.
std::vector<MonitorRecord> readMonitors(X11Session& session);

}  // namespace corvane
