#include "backends/wayland/wayland_library.h"

namespace corvane {

bool WaylandLibrary::bind(SharedLibrary& library) {
  return library.bind(displayConnect, "wl_display_connect") &&
         library.bind(displayDisconnect, "wl_display_disconnect") &&
         library.bind(displayFd, "wl_display_get_fd") && library.bind(displayError, "wl_display_get_error") &&
         library.bind(displayFlush, "wl_display_flush") &&
         library.bind(displayPrepareRead, "wl_display_prepare_read") &&
         library.bind(displayCancelRead, "wl_display_cancel_read") &&
         library.bind(displayReadEvents, "wl_display_read_events") &&
         library.bind(displayDispatchPending, "wl_display_dispatch_pending") &&
         library.bind(proxyMarshal, "wl_proxy_marshal_array") &&
         library.bind(proxyMarshalConstructor, "wl_proxy_marshal_array_constructor_versioned") &&
         library.bind(proxyAddListener, "wl_proxy_add_listener") &&
         library.bind(proxyVersion, "wl_proxy_get_version") &&
         library.bind(proxyDestroy, "wl_proxy_destroy") &&
         library.bind(registryInterface, "wl_registry_interface") &&
         library.bind(callbackInterface, "wl_callback_interface") &&
         library.bind(outputInterface, "wl_output_interface") &&
         library.bind(shmInterface, "wl_shm_interface") &&
         library.bind(shmPoolInterface, "wl_shm_pool_interface") &&
         library.bind(bufferInterface, "wl_buffer_interface") &&
         library.bind(seatInterface, "wl_seat_interface");
}

}  // namespace corvane
