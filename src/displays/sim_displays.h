// Script of the simulated desktop's monitors.
#pragma once

#include <cstdint>
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
};

struct SimDisplaySetup {
  std::vector<SimMonitor> monitors;
  // The enumeration ends after this many monitors, as a failed enumeration would; -1 for never.
  int64_t enumerationStopsAfter = -1;
};

void setDisplays(SimDisplaySetup setup);
// Device contexts opened and not yet closed.
size_t openDisplayContexts();

}  // namespace corvane::sim
