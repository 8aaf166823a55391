// User activity on GNOME: mutter's IdleMonitor (org.gnome.Mutter.IdleMonitor on the session bus)
// tells of every input event, a key as much as a move, over Wayland windows too.
#pragma once

#include "mouse/activity.h"

namespace corvane {

// The process's sensor, or null when no IdleMonitor answers on the session bus.
ActivitySensor* mutterIdleActivity();

}  // namespace corvane
