// The simulated desktop's monitors, scripted by tests.
#include <cstdint>
#include <map>
#include <string>

#include "displays/display_platform.h"
#include "displays/sim_displays.h"
#include "sim/call_log.h"

namespace corvane {
namespace {

constexpr size_t kDeviceNameMax = 31;  // szDevice holds 32 bytes with its NUL

std::string handleName(const char* kind, uintptr_t id) { return kind + std::to_string(id); }

class SimDisplayPlatform final : public DisplayPlatform {
 public:
  // Starts as a single full-HD primary monitor, like a plain desktop.
  SimDisplayPlatform() { setup_.monitors.push_back({"\\\\.\\DISPLAY1", 0, 0, 1, 1920, 1080, 527, 296}); }

  void setup(sim::SimDisplaySetup setup) {
    setup_ = std::move(setup);
    openContexts_.clear();
    lastContext_ = 0;
  }
  size_t openContexts() const { return openContexts_.size(); }

  void enumerateMonitors(const std::function<bool(MonitorHandle)>& visit) override {
    sim::recordCall("EnumDisplayMonitors(NULL, NULL, 0)");
    const size_t count = setup_.monitors.size();
    for (size_t i = 0; i < count; ++i) {
      if (setup_.enumerationStopsAfter >= 0 && i >= static_cast<size_t>(setup_.enumerationStopsAfter)) return;
      if (!visit(reinterpret_cast<MonitorHandle>(i + 1))) return;
    }
  }

  std::optional<MonitorInfo> monitorInfo(MonitorHandle monitor) override {
    const auto index = reinterpret_cast<uintptr_t>(monitor);
    sim::recordCall("GetMonitorInfoA(" + handleName("monitor", index) + ", 72)");
    const sim::SimMonitor& m = setup_.monitors.at(index - 1);
    if (m.infoFails) return std::nullopt;
    return MonitorInfo{m.deviceName.substr(0, kDeviceNameMax), m.left, m.top, m.flags};
  }

  DisplayContext openDisplay(const std::string& deviceName) override {
    sim::recordCall("CreateDCA(DISPLAY, " + deviceName + ", NULL, NULL)");
    const sim::SimMonitor* monitor = findByName(deviceName);
    if (monitor == nullptr || monitor->displayFails) return nullptr;
    const uintptr_t id = ++lastContext_;
    openContexts_[id] = monitor;
    return reinterpret_cast<DisplayContext>(id);
  }

  int32_t deviceCaps(DisplayContext context, DisplayCap cap) override {
    const auto id = reinterpret_cast<uintptr_t>(context);
    sim::recordCall("GetDeviceCaps(" + handleName("dc", id) + ", " + std::to_string(static_cast<int>(cap)) +
                    ")");
    const sim::SimMonitor& m = *openContexts_.at(id);
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
    openContexts_.erase(id);
  }

 private:
  const sim::SimMonitor* findByName(const std::string& deviceName) const {
    for (const sim::SimMonitor& m : setup_.monitors) {
      if (m.deviceName.substr(0, kDeviceNameMax) == deviceName) return &m;
    }
    return nullptr;
  }

  sim::SimDisplaySetup setup_;
  std::map<uintptr_t, const sim::SimMonitor*> openContexts_;
  uintptr_t lastContext_ = 0;
};

SimDisplayPlatform& simPlatform() {
  static SimDisplayPlatform platform;
  return platform;
}

}  // namespace

DisplayPlatform& displayPlatform() { return simPlatform(); }

namespace sim {

void setDisplays(SimDisplaySetup setup) { simPlatform().setup(std::move(setup)); }
size_t openDisplayContexts() { return simPlatform().openContexts(); }

}  // namespace sim
}  // namespace corvane
