// Which monitors an X screen has, from what RandR and Xinerama report of it. Platform-free, so
// that the choice is tested without an X server.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "displays/monitor_list.h"

namespace corvane {

// One Xinerama head: a rectangle of the screen, without name or physical size.
struct ScreenHead {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
};

struct ScreenSize {
  int32_t width = 0;
  int32_t height = 0;
  int32_t widthMM = 0;
  int32_t heightMM = 0;
};

// RandR's monitors, unless RandR reports none or one and Xinerama knows more heads (servers that
// lay out several screens with Xinerama report one RandR monitor for them all). Heads are named
// "XINERAMA-<index>" and given the screen's physical size in proportion to their pixels. With
// neither, the whole screen is one monitor named "screen". When none is flagged primary, the first
// one is, as X clients take the first monitor to be when no primary is set.
std::vector<MonitorRecord> chooseMonitors(std::vector<MonitorRecord> randrMonitors,
                                          const std::vector<ScreenHead>& heads, const ScreenSize& screen);

// Wayland has no primary output: the one at the layout's origin is taken, else the first.
void markPrimaryAtOrigin(std::vector<MonitorRecord>& monitors);

// The monitor of that name, or null.
const MonitorRecord* findMonitor(const std::vector<MonitorRecord>& monitors, const std::string& name);

}  // namespace corvane
