// Which desktop the Linux module talks to: the Wayland compositor or the X server.
#pragma once

namespace corvane {

// Portal: the Wayland compositor's outputs, every capture through the desktop portal.
enum class LinuxBackend { X11, Wayland, Portal };

// Chosen once per process, at the first call that needs it: CORVANE_BACKEND=x11|wayland|portal
// when set; otherwise Wayland when WAYLAND_DISPLAY is set and a compositor answers there, else X11.
LinuxBackend linuxBackend();

}  // namespace corvane
