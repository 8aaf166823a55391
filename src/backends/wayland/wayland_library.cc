#include "backends/wayland/wayland_library.h"

namespace corvane {

WaylandLibrary::WaylandLibrary() {
  loaded_ = library_.bind(displayConnect, "wl_display_connect") &&
            library_.bind(displayDisconnect, "wl_display_disconnect") &&
            library_.bind(displayFd, "wl_display_get_fd") &&
            library_.bind(displayError, "wl_display_get_error") &&
            library_.bind(displayFlush, "wl_display_flush") &&
            library_.bind(displayPrepareRead, "wl_display_prepare_read") &&
            library_.bind(displayCancelRead, "wl_display_cancel_read") &&
            library_.bind(displayReadEvents, "wl_display_read_events") &&
            library_.bind(displayDispatchPending, "wl_display_dispatch_pending") &&
            library_.bind(proxyMarshal, "wl_proxy_marshal_array") &&
            library_.bind(proxyMarshalConstructor, "wl_proxy_marshal_array_constructor_versioned") &&
            library_.bind(proxyAddListener, "wl_proxy_add_listener") &&
            library_.bind(proxyVersion, "wl_proxy_get_version") &&
            library_.bind(proxyDestroy, "wl_proxy_destroy") &&
            library_.bind(registryInterface, "wl_registry_interface") &&
            library_.bind(callbackInterface, "wl_callback_interface") &&
            library_.bind(outputInterface, "wl_output_interface") &&
            library_.bind(shmInterface, "wl_shm_interface") &&
            library_.bind(shmPoolInterface, "wl_shm_pool_interface") &&
            library_.bind(bufferInterface, "wl_buffer_interface");
}

const WaylandLibrary& WaylandLibrary::get() {
  // Never unloaded: proxies of a Worker that ended may outlive any owner we could give it.
  static const WaylandLibrary* library = new WaylandLibrary();
  return *library;
}

}  // namespace corvane
