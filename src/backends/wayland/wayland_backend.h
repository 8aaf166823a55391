// What a Wayland compositor gives the Linux module: its outputs, their grabs through
// wlr-screencopy and the user's activity through ext-idle-notify, where it offers those.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "capture/grabber.h"
#include "displays/monitor_list.h"
#include "mouse/activity.h"

namespace corvane {

// In the compositor's order of outputs; empty when no compositor answers.
std::vector<MonitorRecord> readWaylandMonitors();

// On a connection of its own. Null when the compositor answers but offers no wlr-screencopy;
// while no compositor answers, a grabber that keeps trying.
std::unique_ptr<DisplayGrabber> openScreencopyGrabber(const DisplayRequest& display, uint64_t samplingRate);

// The process's sensor, or null when no compositor answers or it offers no ext-idle-notify.
ActivitySensor* idleNotifyActivity();

}  // namespace corvane
