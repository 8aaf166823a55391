#include "backends/wayland/wayland_backend.h"
#include "backends/wayland/wayland_desktop.h"
#include "displays/monitor_layout.h"

namespace corvane {

namespace {

std::vector<MonitorRecord> waylandMonitors(const WaylandDesktop& desktop) {
  std::vector<MonitorRecord> monitors;
  for (const auto& output : desktop.outputs()) {
    monitors.push_back({output->name, output->x, output->y, output->width, output->height, output->widthMM,
                        output->heightMM, false});
  }
  markPrimaryAtOrigin(monitors);
  return monitors;
}

}  // namespace

std::vector<MonitorRecord> readWaylandMonitors() {
  const std::unique_ptr<WaylandDesktop> desktop = WaylandDesktop::connect();
  return desktop ? waylandMonitors(*desktop) : std::vector<MonitorRecord>{};
}

}  // namespace corvane
