// Monitor calls on the simulated desktop.
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "backends/windows/display_platform.h"
#include "backends/windows_sim/call_log.h"
#include "backends/windows_sim/desktop.h"
#include "common/never_destroyed.h"

namespace corvane {
namespace {

constexpr size_t kDeviceNameMax = 31;  // szDevice holds 32 bytes with its NUL

std::string handleName(const char* kind, uintptr_t id) { return kind + std::to_string(id); }

class SimDisplayPlatform final : public DisplayPlatform {
 public:
  void enumerateMonitors(const std::function<bool(MonitorHandle)>& visit) override {
    sim::recordCall("EnumDisplayMonitors(NULL, NULL, 0)");
    // The monitors as they were when the enumeration began, as the window manager would list them.
    enumerated_ = sim::desktop();
    const size_t count = enumerated_.monitors.size();
    for (size_t i = 0; i < count; ++i) {
      if (enumerated_.enumerationStopsAfter >= 0 &&
          i >= static_cast<size_t>(enumerated_.enumerationStopsAfter)) {
        return;
      }
      if (!visit(reinterpret_cast<MonitorHandle>(i + 1))) return;
    }
  }

  std::optional<MonitorInfo> monitorInfo(MonitorHandle monitor) override {
    const auto index = reinterpret_cast<uintptr_t>(monitor);
    sim::recordCall("GetMonitorInfoA(" + handleName("monitor", index) + ", 72)");
    const sim::SimMonitor& m = enumerated_.monitors.at(index - 1);
    if (m.infoFails) return std::nullopt;
    return MonitorInfo{m.deviceName.substr(0, kDeviceNameMax), m.left, m.top, m.flags};
  }

  DisplayContext openDisplay(const std::string& deviceName) override {
    sim::SimMonitor monitor;
    const bool found = sim::findMonitor(deviceName, monitor) && !monitor.displayFails;
    const uintptr_t id = found ? sim::newHandle() : 0;
    sim::recordCall("CreateDCA(DISPLAY, " + deviceName + ", NULL, NULL) -> " +
                    (found ? handleName("dc", id) : "NULL"));
    if (!found) return nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    open_[id] = monitor;
    return reinterpret_cast<DisplayContext>(id);
  }

  int32_t deviceCaps(DisplayContext context, DisplayCap cap) override {
    const auto id = reinterpret_cast<uintptr_t>(context);
    sim::recordCall("GetDeviceCaps(" + handleName("dc", id) + ", " + std::to_string(static_cast<int>(cap)) +
                    ")");
    std::lock_guard<std::mutex> lock(mutex_);
    const sim::SimMonitor& m = open_.at(id);
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

  void closeDisplay(DisplayContext context) override {
    const auto id = reinterpret_cast<uintptr_t>(context);
    sim::recordCall("DeleteDC(" + handleName("dc", id) + ")");
    std::lock_guard<std::mutex> lock(mutex_);
    open_.erase(id);
  }

  size_t openContexts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return open_.size();
  }

 private:
  sim::SimDesktop enumerated_;  // JavaScript thread only
  std::mutex mutex_;
  std::map<uintptr_t, sim::SimMonitor> open_;
};

SimDisplayPlatform& simPlatform() { return neverDestroyed<SimDisplayPlatform>(); }

}  // namespace

DisplayPlatform& displayPlatform() { return simPlatform(); }

namespace sim {

size_t openDisplayContexts() { return simPlatform().openContexts(); }

}  // namespace sim
}  // namespace corvane
