// Which desktop the Linux module talks to: the Wayland compositor or the X server.
#pragma once

namespace corvane {

enum class LinuxBackend { X11, Wayland };

// Chosen once per process, at the first call that needs it: CORVANE_BACKEND=x11|wayland when
// set; otherwise Wayland when WAYLAND_DISPLAY is set and a compositor answers there, else X11.
LinuxBackend linuxBackend();

}  // namespace corvane
