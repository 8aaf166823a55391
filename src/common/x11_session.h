// The module's connection to the X server, shared by every thread (XCB is thread-safe), opened
// when first needed and opened again after the server dropped it.
#pragma once

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace corvane {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
// XCB's replies and errors are malloc'ed for the caller to free.
template <typename T>
using XcbReply = std::unique_ptr<T, FreeDeleter>;

class X11Session {
 public:
  // The live session, or null with error set to XCB's connection error (for example 5 when no
  // DISPLAY is set, 1 when the named display does not answer).
  static std::shared_ptr<X11Session> shared(int* error = nullptr);

  X11Session(xcb_connection_t* connection, xcb_screen_t* screen) : connection_(connection), screen_(screen) {}
  ~X11Session() { xcb_disconnect(connection_); }
  X11Session(const X11Session&) = delete;
  X11Session& operator=(const X11Session&) = delete;

  xcb_connection_t* connection() const { return connection_; }
  const xcb_screen_t& screen() const { return *screen_; }
  xcb_window_t root() const { return screen_->root; }
  // XCB's connection error, 0 while the connection is up.
  int error() const { return xcb_connection_has_error(connection_); }

 private:
  xcb_connection_t* connection_;
  xcb_screen_t* screen_;  // owned by the connection's setup data
};

}  // namespace corvane
