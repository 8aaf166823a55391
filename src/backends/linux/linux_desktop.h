// The desktop the Linux module talks to, chosen once per process: it lists the monitors, opens
// the grabbers and tells of the user's activity.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "capture/grabber.h"
#include "displays/monitor_list.h"
#include "mouse/activity.h"

namespace corvane {

class LinuxDesktop {
 public:
  virtual ~LinuxDesktop() = default;
  virtual std::vector<MonitorRecord> monitors() = 0;
  virtual std::unique_ptr<DisplayGrabber> openGrabber(const DisplayRequest& display,
                                                      uint64_t samplingRate) = 0;
  virtual std::vector<std::unique_ptr<DisplayGrabber>> openGrabbersInTurn(
      const std::vector<DisplayRequest>& displays, uint64_t samplingRate);
  virtual ActivitySensor& activity() = 0;
};

// CORVANE_BACKEND=x11|wayland|portal when set; otherwise the Wayland compositor when
// WAYLAND_DISPLAY is set and a compositor answers there, else the X server. "portal" is the
// compositor's outputs with every capture through the desktop portal.
LinuxDesktop& linuxDesktop();

}  // namespace corvane
