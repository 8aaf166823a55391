#include "displays/wayland_monitors.h"

namespace corvane {

std::vector<MonitorRecord> waylandMonitors(const WaylandDesktop& desktop) {
  std::vector<MonitorRecord> monitors;
  for (const auto& output : desktop.outputs()) {
    monitors.push_back({output->name, output->x, output->y, output->width, output->height, output->widthMM,
                        output->heightMM, false});
  }
  markPrimaryAtOrigin(monitors);
  return monitors;
}

std::vector<MonitorRecord> readWaylandMonitors() {
  const std::unique_ptr<WaylandDesktop> desktop = WaylandDesktop::connect();
  return desktop ? waylandMonitors(*desktop) : std::vector<MonitorRecord>{};
}

}  // namespace corvane
