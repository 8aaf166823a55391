#include "displays/monitor_layout.h"

#include <algorithm>

namespace corvane {
namespace {

// part of total millimetres for pixels of totalPixels, rounded; 0 when the screen has no size.
int32_t shareOf(int32_t millimetres, int32_t pixels, int32_t totalPixels) {
  if (totalPixels <= 0 || millimetres <= 0 || pixels <= 0) return 0;
  const int64_t scaled = static_cast<int64_t>(millimetres) * pixels;
  return static_cast<int32_t>((scaled + totalPixels / 2) / totalPixels);
}

std::vector<MonitorRecord> fromHeads(const std::vector<ScreenHead>& heads, const ScreenSize& screen) {
  std::vector<MonitorRecord> monitors;
  for (size_t i = 0; i < heads.size(); ++i) {
    const ScreenHead& head = heads[i];
    MonitorRecord monitor;
    monitor.deviceName = "XINERAMA-" + std::to_string(i);
    monitor.x = head.x;
    monitor.y = head.y;
    monitor.width = head.width;
    monitor.height = head.height;
    monitor.widthMM = shareOf(screen.widthMM, head.width, screen.width);
    monitor.heightMM = shareOf(screen.heightMM, head.height, screen.height);
    monitors.push_back(std::move(monitor));
  }
  return monitors;
}

}  // namespace

std::vector<MonitorRecord> chooseMonitors(std::vector<MonitorRecord> randrMonitors,
                                          const std::vector<ScreenHead>& heads, const ScreenSize& screen) {
  std::vector<MonitorRecord> monitors;
  if (randrMonitors.size() <= 1 && heads.size() > randrMonitors.size()) {
    monitors = fromHeads(heads, screen);
  } else if (!randrMonitors.empty()) {
    monitors = std::move(randrMonitors);
  } else if (screen.width > 0 && screen.height > 0) {
    monitors.push_back({"screen", 0, 0, screen.width, screen.height, screen.widthMM, screen.heightMM, false});
  }
  const bool anyPrimary =
      std::any_of(monitors.begin(), monitors.end(), [](const MonitorRecord& m) { return m.isPrimary; });
  if (!anyPrimary && !monitors.empty()) monitors.front().isPrimary = true;
  return monitors;
}

void markPrimaryAtOrigin(std::vector<MonitorRecord>& monitors) {
  if (monitors.empty()) return;
  const auto atOrigin = std::find_if(monitors.begin(), monitors.end(),
                                     [](const MonitorRecord& m) { return m.x == 0 && m.y == 0; });
  (atOrigin != monitors.end() ? *atOrigin : monitors.front()).isPrimary = true;
}

const MonitorRecord* findMonitor(const std::vector<MonitorRecord>& monitors, const std::string& name) {
  const auto found = std::find_if(monitors.begin(), monitors.end(),
                                  [&](const MonitorRecord& m) { return m.deviceName == name; });
  return found == monitors.end() ? nullptr : &*found;
}

}  // namespace corvane
