#include "backends/windows/monitor_walk.h"

namespace corvane {

std::vector<MonitorRecord> listMonitors() {
  std::vector<MonitorRecord> records;
  collectMonitors(displayPlatform(), records);
  return records;
}

}  // namespace corvane
