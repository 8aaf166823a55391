// Monitor calls on Linux: the compositor's outputs on Wayland, or the monitors of the default X
// screen as RandR (or Xinerama) reports them, behind the same per-monitor steps as on Windows. A
// display "context" is a copy of the named monitor's geometry.
#include <cstdint>
#include <memory>
#include <vector>

#include "common/linux_backend.h"
#include "common/x11_session.h"
#include "displays/display_platform.h"
#include "displays/wayland_monitors.h"
#include "displays/x11_monitors.h"

namespace corvane {
namespace {

std::vector<MonitorRecord> readX11Monitors() {
  const std::shared_ptr<X11Session> session = X11Session::shared();
  return session ? readMonitors(*session) : std::vector<MonitorRecord>{};
}

class LinuxDisplayPlatform final : public DisplayPlatform {
 public:
  // The list is read once per enumeration; handles are positions in it, counted from 1.
  void enumerateMonitors(const std::function<bool(MonitorHandle)>& visit) override {
    monitors_ = linuxBackend() == LinuxBackend::X11 ? readX11Monitors() : readWaylandMonitors();
    for (uintptr_t i = 1; i <= monitors_.size(); ++i) {
      if (!visit(reinterpret_cast<MonitorHandle>(i))) break;
    }
  }

  std::optional<MonitorInfo> monitorInfo(MonitorHandle monitor) override {
    const MonitorRecord* m = byHandle(monitor);
    if (m == nullptr) return std::nullopt;
    return MonitorInfo{m->deviceName, m->x, m->y, m->isPrimary ? kMonitorInfoPrimary : 0};
  }

  DisplayContext openDisplay(const std::string& deviceName) override {
    const MonitorRecord* m = findMonitor(monitors_, deviceName);
    return m != nullptr ? new MonitorRecord(*m) : nullptr;
  }

  int32_t deviceCaps(DisplayContext context, DisplayCap cap) override {
    const auto& m = *static_cast<const MonitorRecord*>(context);
    switch (cap) {
      case DisplayCap::HorzRes:
        return m.width;
      case DisplayCap::VertRes:
        return m.height;
      case DisplayCap::HorzSize:
        return m.widthMM;
      case DisplayCap::VertSize:
        return m.heightMM;
    }
    return 0;
  }

  void closeDisplay(DisplayContext context) override { delete static_cast<MonitorRecord*>(context); }

 private:
  const MonitorRecord* byHandle(MonitorHandle handle) const {
    const auto position = reinterpret_cast<uintptr_t>(handle);
    return position >= 1 && position <= monitors_.size() ? &monitors_[position - 1] : nullptr;
  }

  std::vector<MonitorRecord> monitors_;  // callers hold the monitor list's lock
};

}  // namespace

DisplayPlatform& displayPlatform() {
  static LinuxDisplayPlatform platform;
  return platform;
}

}  // namespace corvane
