// Monitor calls on USER32 and GDI.
#include <windows.h>

#include <cstring>

#include "backends/windows/display_platform.h"

namespace corvane {
namespace {

BOOL CALLBACK visitMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
  const auto& visit = *reinterpret_cast<const std::function<bool(MonitorHandle)>*>(data);
  return visit(monitor) ? TRUE : FALSE;
}

class Win32DisplayPlatform final : public DisplayPlatform {
 public:
  void enumerateMonitors(const std::function<bool(MonitorHandle)>& visit) override {
    EnumDisplayMonitors(nullptr, nullptr, visitMonitor, reinterpret_cast<LPARAM>(&visit));
  }

  std::optional<MonitorInfo> monitorInfo(MonitorHandle monitor) override {
    MONITORINFOEXA info{};
    info.cbSize = sizeof(info);
    if (!GetMonitorInfoA(static_cast<HMONITOR>(monitor), &info)) return std::nullopt;
    return MonitorInfo{std::string(info.szDevice, strnlen(info.szDevice, sizeof(info.szDevice) - 1)),
                       info.rcMonitor.left, info.rcMonitor.top, info.dwFlags};
  }

  DisplayContext openDisplay(const std::string& deviceName) override {
    return CreateDCA("DISPLAY", deviceName.c_str(), nullptr, nullptr);
  }

  int32_t deviceCaps(DisplayContext context, DisplayCap cap) override {
    return GetDeviceCaps(static_cast<HDC>(context), static_cast<int>(cap));
  }

  void closeDisplay(DisplayContext context) override { DeleteDC(static_cast<HDC>(context)); }
};

static_assert(sizeof(MONITORINFOEXA) == 72, "GetMonitorInfoA expects a 72-byte MONITORINFOEXA");

}  // namespace

DisplayPlatform& displayPlatform() {
  static Win32DisplayPlatform platform;
  return platform;
}

}  // namespace corvane
