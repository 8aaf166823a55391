#include "backends/windows/monitor_walk.h"

#include <optional>

namespace corvane {
namespace {

// Owns one open display context and closes it on every path out.
class ScopedDisplayContext {
 public:
  ScopedDisplayContext(DisplayPlatform& platform, DisplayContext context)
      : platform_(platform), context_(context) {}
  ~ScopedDisplayContext() {
    if (context_ != nullptr) platform_.closeDisplay(context_);
  }
  ScopedDisplayContext(const ScopedDisplayContext&) = delete;
  ScopedDisplayContext& operator=(const ScopedDisplayContext&) = delete;

  explicit operator bool() const { return context_ != nullptr; }
  DisplayContext get() const { return context_; }

 private:
  DisplayPlatform& platform_;
  DisplayContext context_;
};

std::optional<MonitorRecord> describeMonitor(DisplayPlatform& platform, MonitorHandle monitor) {
  std::optional<MonitorInfo> info = platform.monitorInfo(monitor);
  if (!info) return std::nullopt;

  MonitorRecord record;
  record.deviceName = info->deviceName;
  record.x = info->left;
  record.y = info->top;
  record.isPrimary = info->flags == kMonitorInfoPrimary;

  // Resolution comes from the device rather than the monitor rectangle; a display that cannot
  // be opened is still listed, with zero sizes.
  ScopedDisplayContext context(platform, platform.openDisplay(info->deviceName));
  if (context) {
    record.width = platform.deviceCaps(context.get(), DisplayCap::HorzRes);
    record.height = platform.deviceCaps(context.get(), DisplayCap::VertRes);
    record.widthMM = platform.deviceCaps(context.get(), DisplayCap::HorzSize);
    record.heightMM = platform.deviceCaps(context.get(), DisplayCap::VertSize);
  }
  return record;
}

}  // namespace

void collectMonitors(DisplayPlatform& platform, std::vector<MonitorRecord>& records) {
  records.clear();
  platform.enumerateMonitors([&](MonitorHandle monitor) {
    if (std::optional<MonitorRecord> record = describeMonitor(platform, monitor)) {
      records.push_back(std::move(*record));
    }
    return true;
  });
}

}  // namespace corvane
