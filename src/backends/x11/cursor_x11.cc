// The pointer on X11: its position on the root window of the default screen. A failed read
// reports the X error code of the query, or XCB's connection error when the server cannot be
// reached (see X11Session::shared); a server that does not answer counts as unreachable.
#include "backends/x11/x11_backend.h"
#include "backends/x11/x11_session.h"

namespace corvane {

CursorRead readX11Cursor() {
  int connectionError = 0;
  const std::shared_ptr<X11Session> session = X11Session::shared(&connectionError);
  if (session == nullptr) return {false, 0, 0, static_cast<uint32_t>(connectionError)};
  X11Exchange exchange(*session);
  if (exchange.failed()) return {false, 0, 0, XCB_CONN_ERROR};
  XcbReply<xcb_generic_error_t> error;
  auto reply = exchange.reply<xcb_query_pointer_reply_t>(
      xcb_query_pointer(session->connection(), session->root()), &error);
  if (reply == nullptr) {
    const int broken = exchange.failed() ? XCB_CONN_ERROR : session->error();
    const uint32_t code = error != nullptr ? error->error_code : static_cast<uint32_t>(broken);
    return {false, 0, 0, code};
  }
  return {true, reply->root_x, reply->root_y, 0};
}

}  // namespace corvane
