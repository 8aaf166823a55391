// Chosen once per process, because display names differ between the desktops (XWayland's
// "XWAYLAND0" against the compositor's "HEADLESS-1"): a list read from one must open captures on
// the same one.
#include "backends/linux/linux_desktop.h"

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "backends/mutter/idle_monitor.h"
#include "backends/portal/portal_grabber.h"
#include "backends/wayland/wayland_backend.h"
#include "backends/wayland/wayland_desktop.h"
#include "backends/x11/x11_backend.h"
#include "common/diagnostics.h"
#include "common/never_destroyed.h"

namespace corvane {
namespace {

class X11Desktop final : public LinuxDesktop {
 public:
  std::vector<MonitorRecord> monitors() override { return readX11Monitors(); }
  std::unique_ptr<DisplayGrabber> openGrabber(const DisplayRequest& display, uint64_t samplingRate) override {
    return openX11Grabber(display, samplingRate);
  }
  std::vector<std::unique_ptr<DisplayGrabber>> openGrabbersInTurn(const std::vector<DisplayRequest>& displays,
                                                                  uint64_t samplingRate) override {
    return openX11GrabbersInTurn(displays, samplingRate);
  }
  ActivitySensor& activity() override { return pointerActivity(); }
};

// The output by name, with its place in the layout when the compositor lists it, so that the
// portal's stream can be checked to show that output.
PortalOutput portalOutput(const std::string& deviceName) {
  PortalOutput output{deviceName, std::nullopt};
  for (const MonitorRecord& monitor : readWaylandMonitors()) {
    if (monitor.deviceName == deviceName)
      output.area = PixelArea{monitor.x, monitor.y, monitor.width, monitor.height};
  }
  return output;
}

// One portal session for all the displays, so that the user is asked once.
std::vector<std::unique_ptr<DisplayGrabber>> openPortalGrabbersOf(const std::vector<DisplayRequest>& displays,
                                                                  uint64_t samplingRate) {
  std::vector<PortalOutput> outputs;
  outputs.reserve(displays.size());
  for (const DisplayRequest& display : displays) outputs.push_back(portalOutput(display.deviceName));
  return openPortalGrabbers(outputs, displays, samplingRate);
}

// A Wayland compositor's outputs, and its own account of the user's input: no Wayland desktop
// tells a client where the pointer is.
class CompositorDesktop : public LinuxDesktop {
 public:
  std::vector<MonitorRecord> monitors() override { return readWaylandMonitors(); }
  // GNOME, KDE and the other compositors without wlr-screencopy: the desktop portal.
  std::unique_ptr<DisplayGrabber> openGrabber(const DisplayRequest& display, uint64_t samplingRate) override {
    if (auto grabber = openScreencopyGrabber(display, samplingRate)) return grabber;
    return std::move(openPortalGrabbersOf({display}, samplingRate).front());
  }
  std::vector<std::unique_ptr<DisplayGrabber>> openGrabbersInTurn(const std::vector<DisplayRequest>& displays,
                                                                  uint64_t samplingRate) override {
    std::vector<std::unique_ptr<DisplayGrabber>> grabbers;
    grabbers.reserve(displays.size());
    for (const DisplayRequest& display : displays) {
      auto grabber = openScreencopyGrabber(display, samplingRate);
      if (grabber == nullptr) return openPortalGrabbersOf(displays, samplingRate);
      grabbers.push_back(std::move(grabber));
    }
    return grabbers;
  }
  // ext-idle-notify (KWin, newer wlroots), else mutter's IdleMonitor (GNOME), else the pointer
  // through XWayland, which sees it over X windows only (sway 1.7).
  ActivitySensor& activity() override {
    static ActivitySensor& chosen = []() -> ActivitySensor& {
      if (ActivitySensor* idle = idleNotifyActivity()) return *idle;
      if (ActivitySensor* mutter = mutterIdleActivity()) return *mutter;
      return pointerActivity();
    }();
    return chosen;
  }
};

class PortalDesktop final : public CompositorDesktop {
 public:
  std::unique_ptr<DisplayGrabber> openGrabber(const DisplayRequest& display, uint64_t samplingRate) override {
    return std::move(openPortalGrabbersOf({display}, samplingRate).front());
  }
  std::vector<std::unique_ptr<DisplayGrabber>> openGrabbersInTurn(const std::vector<DisplayRequest>& displays,
                                                                  uint64_t samplingRate) override {
    return openPortalGrabbersOf(displays, samplingRate);
  }
};

LinuxDesktop& choose() {
  const char* forced = std::getenv("CORVANE_BACKEND");
  if (forced != nullptr && *forced != '\0') {
    if (std::strcmp(forced, "x11") == 0) return neverDestroyed<X11Desktop>();
    if (std::strcmp(forced, "wayland") == 0) return neverDestroyed<CompositorDesktop>();
    if (std::strcmp(forced, "portal") == 0) return neverDestroyed<PortalDesktop>();
    writeDiagnosticLine(std::string("CORVANE_BACKEND=") + forced +
                        " is none of x11, wayland and portal: the backend is chosen by the session");
  }
  const char* display = std::getenv("WAYLAND_DISPLAY");
  if (display != nullptr && *display != '\0' && WaylandDesktop::connect() != nullptr)
    return neverDestroyed<CompositorDesktop>();
  return neverDestroyed<X11Desktop>();
}

}  // namespace

std::vector<std::unique_ptr<DisplayGrabber>> LinuxDesktop::openGrabbersInTurn(
    const std::vector<DisplayRequest>& displays, uint64_t samplingRate) {
  std::vector<std::unique_ptr<DisplayGrabber>> grabbers;
  grabbers.reserve(displays.size());
  for (const DisplayRequest& display : displays) grabbers.push_back(openGrabber(display, samplingRate));
  return grabbers;
}

LinuxDesktop& linuxDesktop() {
  static LinuxDesktop& desktop = choose();
  return desktop;
}

// The seams of the subsystems, served by the desktop chosen.
std::vector<MonitorRecord> listMonitors() { return linuxDesktop().monitors(); }

std::unique_ptr<DisplayGrabber> openDisplayGrabber(const DisplayRequest& display, uint64_t samplingRate) {
  return linuxDesktop().openGrabber(display, samplingRate);
}

std::vector<std::unique_ptr<DisplayGrabber>> openDisplayGrabbersInTurn(
    const std::vector<DisplayRequest>& displays, uint64_t samplingRate) {
  return linuxDesktop().openGrabbersInTurn(displays, samplingRate);
}

ActivitySensor& activitySensor() { return linuxDesktop().activity(); }

// The pointer is read where a client can read it: on the X server, XWayland's on Wayland.
CursorRead readCursor() { return readX11Cursor(); }

}  // namespace corvane
