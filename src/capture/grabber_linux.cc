// The grabber of the backend this process talks to (see linux_backend.h).
#include <optional>
#include <string>
#include <vector>

#include "capture/linux_grabbers.h"
#include "capture/portal_grabber.h"
#include "common/linux_backend.h"
#include "displays/wayland_monitors.h"

namespace corvane {
namespace {

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

}  // namespace

std::unique_ptr<DisplayGrabber> openDisplayGrabber(const std::string& deviceName, int32_t width,
                                                   int32_t height, uint64_t samplingRate) {
  switch (linuxBackend()) {
    case LinuxBackend::X11:
      return openX11Grabber(deviceName, width, height, samplingRate);
    case LinuxBackend::Wayland:
      // GNOME, KDE and the other compositors without wlr-screencopy: the desktop portal.
      if (auto grabber = openScreencopyGrabber(deviceName, width, height)) return grabber;
      return openPortalGrabber(portalOutput(deviceName), width, height);
    case LinuxBackend::Portal:
      return openPortalGrabber(portalOutput(deviceName), width, height);
  }
  return nullptr;
}

std::vector<std::unique_ptr<DisplayGrabber>> openDisplayGrabbersInTurn(
    const std::vector<DisplayRequest>& displays, uint64_t samplingRate) {
  if (linuxBackend() == LinuxBackend::X11) return openX11GrabbersInTurn(displays, samplingRate);
  std::vector<std::unique_ptr<DisplayGrabber>> grabbers;
  grabbers.reserve(displays.size());
  for (const DisplayRequest& display : displays)
    grabbers.push_back(openDisplayGrabber(display.deviceName, display.width, display.height, samplingRate));
  return grabbers;
}

}  // namespace corvane
