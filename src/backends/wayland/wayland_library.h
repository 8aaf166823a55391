// libwayland-client, loaded at run time: the module must load on a desktop without it, and the
// prebuilt binary may need nothing beyond the C library and XCB. Only entry points that
// libwayland 1.18 has are bound (no wl_proxy_marshal_flags), so the binary built on Debian 11
// runs with it.
#pragma once

#include <wayland-client-core.h>

#include "backends/linux/runtime_library.h"

namespace corvane {

struct WaylandLibrary {
  static constexpr const char* kSoname = "libwayland-client.so.0";
  bool bind(SharedLibrary& library);

  decltype(&wl_display_connect) displayConnect = nullptr;
  decltype(&wl_display_disconnect) displayDisconnect = nullptr;
  decltype(&wl_display_get_fd) displayFd = nullptr;
  decltype(&wl_display_get_error) displayError = nullptr;
  decltype(&wl_display_flush) displayFlush = nullptr;
  decltype(&wl_display_prepare_read) displayPrepareRead = nullptr;
  decltype(&wl_display_cancel_read) displayCancelRead = nullptr;
  decltype(&wl_display_read_events) displayReadEvents = nullptr;
  decltype(&wl_display_dispatch_pending) displayDispatchPending = nullptr;
  decltype(&wl_proxy_marshal_array) proxyMarshal = nullptr;
  decltype(&wl_proxy_marshal_array_constructor_versioned) proxyMarshalConstructor = nullptr;
  decltype(&wl_proxy_add_listener) proxyAddListener = nullptr;
  decltype(&wl_proxy_get_version) proxyVersion = nullptr;
  decltype(&wl_proxy_destroy) proxyDestroy = nullptr;

  // The core interfaces, which live in the library.
  const wl_interface* registryInterface = nullptr;
  const wl_interface* callbackInterface = nullptr;
  const wl_interface* outputInterface = nullptr;
  const wl_interface* shmInterface = nullptr;
  const wl_interface* shmPoolInterface = nullptr;
  const wl_interface* bufferInterface = nullptr;
  const wl_interface* seatInterface = nullptr;
};

}  // namespace corvane
