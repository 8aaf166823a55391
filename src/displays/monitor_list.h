// The monitor list: one record per monitor, as each backend lists them, and the aspect-ratio rule.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

// The monitors of the desktop this process talks to, in its order; empty when there is none.
std::vector<MonitorRecord> listMonitors();

}  // namespace corvane
