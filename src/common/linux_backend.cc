// Once per process, because display names differ between the backends (XWayland's "XWAYLAND0"
// against the compositor's "HEADLESS-1"): a list read from one must open captures on the same one.
#include "common/linux_backend.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "common/diagnostics.h"
#include "common/wayland_desktop.h"

namespace corvane {
namespace {

LinuxBackend choose() {
  const char* forced = std::getenv("CORVANE_BACKEND");
  if (forced != nullptr && *forced != '\0') {
    if (std::strcmp(forced, "x11") == 0) return LinuxBackend::X11;
    if (std::strcmp(forced, "wayland") == 0) return LinuxBackend::Wayland;
    if (std::strcmp(forced, "portal") == 0) return LinuxBackend::Portal;
    writeDiagnosticLine(std::string("CORVANE_BACKEND=") + forced +
                        " is none of x11, wayland and portal: the backend is chosen by the session");
  }
  const char* display = std::getenv("WAYLAND_DISPLAY");
  if (display == nullptr || *display == '\0') return LinuxBackend::X11;
  return WaylandDesktop::connect() != nullptr ? LinuxBackend::Wayland : LinuxBackend::X11;
}

}  // namespace

LinuxBackend linuxBackend() {
  static const LinuxBackend backend = choose();
  return backend;
}

}  // namespace corvane
