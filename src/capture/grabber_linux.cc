// The grabber of the backend this process talks to (see linux_backend.h).
#include <string>

#include "capture/linux_grabbers.h"
#include "common/diagnostics.h"
#include "common/linux_backend.h"

namespace corvane {
namespace {

// Zero-filled frames of the normal size.
class BlankGrabber final : public DisplayGrabber {
 public:
  const uint8_t* grab() override { return nullptr; }
};

}  // namespace

std::unique_ptr<DisplayGrabber> openDisplayGrabber(const std::string& deviceName, int32_t width,
                                                   int32_t height) {
  if (linuxBackend() == LinuxBackend::X11) return openX11Grabber(deviceName, width, height);
  if (auto grabber = openScreencopyGrabber(deviceName, width, height)) return grabber;
  // GNOME, KDE and the other compositors without wlr-screencopy: the desktop portal's grabber
  // belongs here.
  writeDiagnosticLine("The Wayland compositor offers no wlr-screencopy: frames of " + deviceName +
                      " are zero-filled");
  return std::make_unique<BlankGrabber>();
}

}  // namespace corvane
