// The simulated desktop: its monitors, what each one shows, and the handles its platform calls
// hand out. Worker threads read it too, so every access takes its lock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace corvane::sim {

struct SimMonitor {
  std::string deviceName;
  int32_t left = 0;
  int32_t top = 0;
  uint32_t flags = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t widthMM = 0;
  int32_t heightMM = 0;
  bool infoFails = false;     // the monitor-info query fails
  bool displayFails = false;  // no device context can be opened
  // What the monitor shows: width x height blue-green-red-reserved pixels, top row first; null
  // for the standard picture (patternPixel).
  std::shared_ptr<const std::vector<uint8_t>> pixels;
};

struct SimDesktop {
  std::vector<SimMonitor> monitors;
  // The enumeration ends after this many monitors, as a failed enumeration would; -1 for never.
  int64_t enumerationStopsAfter = -1;
};

// Replaces the desktop; handle numbers start again from 1.
void setDesktop(SimDesktop desktop);
SimDesktop desktop();
// The monitor of that device name, if any; a copy, so it stays valid while the desktop changes.
bool findMonitor(const std::string& deviceName, SimMonitor& out);

// A handle number unique since the last setDesktop.
uintptr_t newHandle();

// The standard picture's pixel at (x, y), as blue, green, red and reserved bytes in the low to
// high bytes. Rows, columns and channels all differ, so a wrong stride, offset or byte order shows.
uint32_t patternPixel(int32_t x, int32_t y);

}  // namespace corvane::sim

namespace corvane::sim {

// Device contexts that the monitor list opened and has not closed.
size_t openDisplayContexts();

}  // namespace corvane::sim
