// The module's connection to the X server, shared by every thread (XCB is thread-safe), opened
// when first needed and opened again after the server dropped it. No call waits for the server
// without end: a frozen server must not hold a stop, a Worker's teardown or getMonitors.
#pragma once

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>

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
  // False once the server hung up, which XCB only learns from a read: one is tried here.
  bool alive();

  // False while a request that was given up on has not been answered yet: the server does not
  // answer now, and new requests would only fill its socket.
  bool answering();
  // Waits for the answer to request: true with reply or error set (both null when the connection
  // broke); false when the server sent nothing for a second, the answer then being discarded.
  bool await(unsigned int request, void** reply, xcb_generic_error_t** error);

 private:
  xcb_connection_t* connection_;
  xcb_screen_t* screen_;  // owned by the connection's setup data
  std::mutex probeMutex_;
  std::optional<unsigned int> probe_;  // sent when an answer was given up on
};

// The round trips of one task (a monitor list, a grab, a pointer read), which fails as a whole:
// it starts only while the server answers, and once one answer is given up on, so are the rest.
class X11Exchange {
 public:
  explicit X11Exchange(X11Session& session) : session_(session), failed_(!session.answering()) {}

  // True when the server does not answer: send nothing more.
  bool failed() const { return failed_; }

  // The reply to the request of cookie; null when the server sent an error (stored in error when
  // given), the connection broke, or the task failed.
  template <typename Reply, typename Cookie>
  XcbReply<Reply> reply(Cookie cookie, XcbReply<xcb_generic_error_t>* error = nullptr) {
    void* reply = nullptr;
    xcb_generic_error_t* rawError = nullptr;
    if (failed_) {
      xcb_discard_reply(session_.connection(), cookie.sequence);
    } else if (!session_.await(cookie.sequence, &reply, &rawError)) {
      failed_ = true;
    }
    XcbReply<xcb_generic_error_t> owned(rawError);
    if (error != nullptr) *error = std::move(owned);
    return XcbReply<Reply>(static_cast<Reply*>(reply));
  }

  // Whether a request that has no reply succeeded: a round trip behind it tells.
  bool succeeded(xcb_void_cookie_t cookie);

 private:
  X11Session& session_;
  bool failed_;
};

}  // namespace corvane
