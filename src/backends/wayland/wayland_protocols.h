// The protocol extensions corvane speaks beyond the core: xdg-output (the outputs' names and
// logical layout, from wayland-protocols), wlr-screencopy (wlroots' capture of an output) and
// ext-idle-notify (the user's input, from wayland-protocols).
// Their interface tables are written out here: the scanner's client code would reference the
// core interfaces as link-time symbols, and libwayland-client is only loaded at run time.
#pragma once

#include <wayland-client-core.h>

#include "backends/wayland/wayland_library.h"

namespace corvane {

// The highest versions whose events corvane listens to.
constexpr uint32_t kXdgOutputManagerVersion = 3;
constexpr uint32_t kScreencopyManagerVersion = 3;
constexpr uint32_t kIdleNotifierVersion = 1;

// Opcodes of the requests sent.
enum : uint32_t {
  kXdgOutputManagerGetXdgOutput = 1,
  kXdgOutputDestroy = 0,
  kXdgOutputManagerDestroy = 0,
  kScreencopyCaptureOutput = 0,
  kScreencopyCaptureOutputRegion = 1,
  kScreencopyManagerDestroy = 2,
  kScreencopyFrameCopy = 0,
  kScreencopyFrameDestroy = 1,
  kIdleNotifierDestroy = 0,
  kIdleNotifierGetIdleNotification = 1,
  kIdleNotificationDestroy = 0,
};

// zwlr_screencopy_frame_v1.flags
constexpr uint32_t kScreencopyYInvert = 1;

struct WaylandExtensions {
  const wl_interface* xdgOutputManager;
  const wl_interface* xdgOutput;
  const wl_interface* screencopyManager;
  const wl_interface* screencopyFrame;
  const wl_interface* idleNotifier;
  const wl_interface* idleNotification;
};

// The tables, their references to core interfaces filled in from the loaded library.
const WaylandExtensions& waylandExtensions(const WaylandLibrary& library);

}  // namespace corvane
