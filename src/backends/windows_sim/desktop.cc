#include "backends/windows_sim/desktop.h"

#include <mutex>

namespace corvane::sim {
namespace {

constexpr size_t kDeviceNameMax = 31;  // szDevice holds 32 bytes with its NUL

// Read by worker threads up to their last tick at process exit: never destroyed.
std::mutex& desktopMutex = *new std::mutex;
uintptr_t lastHandle = 0;

// Starts as a single full-HD primary monitor, like a plain desktop.
SimDesktop plainDesktop() {
  SimMonitor monitor;
  monitor.deviceName = "\\\\.\\DISPLAY1";
  monitor.flags = 1;
  monitor.width = 1920;
  monitor.height = 1080;
  monitor.widthMM = 527;
  monitor.heightMM = 296;
  return SimDesktop{{monitor}, -1};
}

SimDesktop& current() {
  static SimDesktop& desktop = *new SimDesktop(plainDesktop());
  return desktop;
}

}  // namespace

void setDesktop(SimDesktop desktop) {
  std::lock_guard<std::mutex> lock(desktopMutex);
  current() = std::move(desktop);
  lastHandle = 0;
}

SimDesktop desktop() {
  std::lock_guard<std::mutex> lock(desktopMutex);
  return current();
}

bool findMonitor(const std::string& deviceName, SimMonitor& out) {
  std::lock_guard<std::mutex> lock(desktopMutex);
  for (const SimMonitor& m : current().monitors) {
    if (m.deviceName.substr(0, kDeviceNameMax) == deviceName) {
      out = m;
      return true;
    }
  }
  return false;
}

uintptr_t newHandle() {
  std::lock_guard<std::mutex> lock(desktopMutex);
  return ++lastHandle;
}

uint32_t patternPixel(int32_t x, int32_t y) {
  const auto ux = static_cast<uint32_t>(x);
  const auto uy = static_cast<uint32_t>(y);
  const uint32_t blue = (ux * 7 + uy * 3 + 0x40) & 0xFF;
  const uint32_t green = (uy + (ux >> 8) * 16) & 0xFF;
  const uint32_t red = (ux + (uy >> 8) * 32) & 0xFF;
  return blue | green << 8 | red << 16 | 0xFFu << 24;
}

}  // namespace corvane::sim
