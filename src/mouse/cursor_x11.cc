// The pointer on X11: its position on the root window of the default screen. A failed read
// reports the X error code of the query, or XCB's connection error when the server cannot be
// reached (see X11Session::shared).
#include "common/x11_session.h"
#include "mouse/cursor.h"

namespace corvane {

CursorRead readCursor() {
  int connectionError = 0;
  const std::shared_ptr<X11Session> session = X11Session::shared(&connectionError);
  if (session == nullptr) return {false, 0, 0, static_cast<uint32_t>(connectionError)};
  xcb_connection_t* c = session->connection();
  xcb_generic_error_t* rawError = nullptr;
  XcbReply<xcb_query_pointer_reply_t> reply(
      xcb_query_pointer_reply(c, xcb_query_pointer(c, session->root()), &rawError));
  XcbReply<xcb_generic_error_t> error(rawError);
  if (reply == nullptr) {
    const uint32_t code = error != nullptr ? error->error_code : static_cast<uint32_t>(session->error());
    return {false, 0, 0, code};
  }
  return {true, reply->root_x, reply->root_y, 0};
}

}  // namespace corvane
