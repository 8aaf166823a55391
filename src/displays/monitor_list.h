// Platform-free half of the monitor list: the per-monitor step and the aspect-ratio rule.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "displays/display_platform.h"

namespace corvane {

struct MonitorRecord {
  std::string deviceName;
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t widthMM = 0;
  int32_t heightMM = 0;
  bool isPrimary = false;
};

struct AspectRatio {
  int64_t width = 0;
  int64_t height = 0;
};

// width:height divided by their greatest common divisor; 0:0 when both are 0.
AspectRatio reduceAspectRatio(int32_t width, int32_t height);

// Empties records, then appends one record per monitor in enumeration order. A monitor whose
// info query fails is left out: it has no device name to be opened by.
void collectMonitors(DisplayPlatform& platform, std::vector<MonitorRecord>& records);

}  // namespace corvane
