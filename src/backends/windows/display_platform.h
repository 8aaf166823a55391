// The few window-manager and graphics-device calls that the monitor list makes, one method
// each, so that the list is built the same way on the real desktop and on the simulated one.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace corvane {

using MonitorHandle = void*;
using DisplayContext = void*;

// What the monitor-info query reports of one monitor.
struct MonitorInfo {
  std::string deviceName;  // at most 31 bytes
  int32_t left = 0;
  int32_t top = 0;
  uint32_t flags = 0;
};

// Device capability indices, with the values the graphics device interface gives them.
enum class DisplayCap : int { HorzSize = 4, VertSize = 6, HorzRes = 8, VertRes = 10 };

constexpr uint32_t kMonitorInfoPrimary = 1;

class DisplayPlatform {
 public:
  virtual ~DisplayPlatform() = default;

  // Calls visit once per monitor, in the window manager's order, while visit returns true.
  virtual void enumerateMonitors(const std::function<bool(MonitorHandle)>& visit) = 0;
  // Nothing when the query fails.
  virtual std::optional<MonitorInfo> monitorInfo(MonitorHandle monitor) = 0;
  // Null when no context can be opened for the device.
  virtual DisplayContext openDisplay(const std::string& deviceName) = 0;
  virtual int32_t deviceCaps(DisplayContext context, DisplayCap cap) = 0;
  virtual void closeDisplay(DisplayContext context) = 0;
};

// The platform this build runs on.
DisplayPlatform& displayPlatform();

}  // namespace corvane
