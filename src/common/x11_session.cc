#include "common/x11_session.h"

#include <mutex>

namespace corvane {
namespace {

xcb_screen_t* screenOf(xcb_connection_t* connection, int number) {
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
  for (; it.rem > 0; --number, xcb_screen_next(&it)) {
    if (number == 0) return it.data;
  }
  return nullptr;
}

}  // namespace

std::shared_ptr<X11Session> X11Session::shared(int* error) {
  // Threads of the services use it up to process exit: never destroyed.
  static std::mutex& mutex = *new std::mutex;
  static std::shared_ptr<X11Session>& current = *new std::shared_ptr<X11Session>;
  std::lock_guard<std::mutex> lock(mutex);
  if (current && current->error() == 0) return current;
  current.reset();  // holders of the broken one keep it until they let go
  int screenNumber = 0;
  xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
  const int status = xcb_connection_has_error(connection);
  xcb_screen_t* screen = status == 0 ? screenOf(connection, screenNumber) : nullptr;
  if (screen == nullptr) {
    xcb_disconnect(connection);
    if (error != nullptr) *error = status != 0 ? status : XCB_CONN_CLOSED_INVALID_SCREEN;
    return nullptr;
  }
  current = std::make_shared<X11Session>(connection, screen);
  return current;
}

}  // namespace corvane
