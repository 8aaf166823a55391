#include "backends/x11/x11_session.h"

#include <poll.h>
#include <xcb/randr.h>
#include <xcb/shm.h>
#include <xcb/xcbext.h>
#include <xcb/xinerama.h>

#include <chrono>
#include <condition_variable>
#include <string>

#include "common/module_pin.h"
#include "common/never_destroyed.h"
#include "common/worker_thread.h"

namespace corvane {
namespace {

using Clock = std::chrono::steady_clock;

// How long the server may stay silent before a wait for it gives up.
constexpr auto kPatience = std::chrono::seconds(1);
// Another thread may read the socket and queue the answer waited for, unseen by this thread's
// poll: the wait looks again this often.
constexpr int kSliceMs = 10;

struct ConnectionCloser {
  void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
using Connection = std::unique_ptr<xcb_connection_t, ConnectionCloser>;

// One connection being made on a thread of its own, since xcb_connect waits for the server's
// setup without end.
struct Attempt {
  bool done = false;
  Connection connection;
  int screenNumber = 0;
};

struct SharedState {
  std::mutex mutex;
  std::condition_variable connected;
  std::shared_ptr<X11Session> current;
  // At most one at a time: a frozen server holds it until it answers or goes away.
  std::shared_ptr<Attempt> attempt;
};

SharedState& sharedState() { return neverDestroyed<SharedState>(); }

xcb_screen_t* screenOf(xcb_connection_t* connection, int number) {
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
  for (; it.rem > 0; --number, xcb_screen_next(&it)) {
    if (number == 0) return it.data;
  }
  return nullptr;
}

void connect(const std::shared_ptr<Attempt>& attempt) {
  int screenNumber = 0;
  Connection connection(xcb_connect(nullptr, &screenNumber));
  xcb_connection_t* c = connection.get();
  if (xcb_connection_has_error(c) == 0) {
    // A request of an extension first asks for the extension's data, and waits for it without
    // end: asked here, where waiting is harmless, and answered before the round trip below is.
    for (xcb_extension_t* extension : {&xcb_shm_id, &xcb_randr_id, &xcb_xinerama_id}) {
      xcb_prefetch_extension_data(c, extension);
    }
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
  }
  SharedState& state = sharedState();
  std::lock_guard<std::mutex> lock(state.mutex);
  attempt->connection = std::move(connection);
  attempt->screenNumber = screenNumber;
  attempt->done = true;
  state.connected.notify_all();
}

}  // namespace

std::shared_ptr<X11Session> X11Session::shared(int* error) {
  SharedState& state = sharedState();
  std::unique_lock<std::mutex> lock(state.mutex);
  const auto deadline = Clock::now() + kPatience;
  // Twice at most: a connection made while nobody waited may have lost its server since.
  for (int tries = 0; tries < 2; ++tries) {
    if (state.current && state.current->alive()) return state.current;
    state.current.reset();  // holders of the broken one keep it until they let go
    if (state.attempt && state.attempt->done &&
        xcb_connection_has_error(state.attempt->connection.get()) != 0) {
      state.attempt.reset();  // failed before this call: the server may be back by now
    }
    if (!state.attempt) {
      // The thread may outlive every environment that loaded the module (a frozen server holds
      // it), so the module must stay loaded under it.
      pinModule();
      auto attempt = std::make_shared<Attempt>();
      WorkerThread thread;
      std::string ignored;
      if (!thread.start([attempt] { connect(attempt); }, ignored)) break;
      thread.detach();
      state.attempt = attempt;
    }
    const std::shared_ptr<Attempt> attempt = state.attempt;
    if (!state.connected.wait_until(lock, deadline, [&] { return attempt->done; })) break;
    if (!attempt->connection) continue;                   // another caller took the connection
    if (state.attempt == attempt) state.attempt.reset();  // else a newer one was started meanwhile
    const int status = xcb_connection_has_error(attempt->connection.get());
    xcb_screen_t* screen = status == 0 ? screenOf(attempt->connection.get(), attempt->screenNumber) : nullptr;
    if (screen == nullptr) {
      if (error != nullptr) *error = status != 0 ? status : XCB_CONN_CLOSED_INVALID_SCREEN;
      return nullptr;
    }
    state.current = std::make_shared<X11Session>(attempt->connection.release(), screen);
  }
  if (state.current) return state.current;
  if (error != nullptr) *error = XCB_CONN_ERROR;
  return nullptr;
}

bool X11Session::alive() {
  while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) std::free(event);  // none asked for
  return error() == 0;
}

bool X11Session::answering() {
  std::lock_guard<std::mutex> lock(probeMutex_);
  if (!probe_) return true;
  void* reply = nullptr;
  xcb_generic_error_t* error = nullptr;
  if (xcb_poll_for_reply(connection_, *probe_, &reply, &error) == 0) return false;
  std::free(reply);
  std::free(error);
  probe_.reset();
  return true;
}

bool X11Session::await(unsigned int request, void** reply, xcb_generic_error_t** error) {
  xcb_flush(connection_);
  auto deadline = Clock::now() + kPatience;
  int timeoutMs = 0;
  for (;;) {
    pollfd socket{xcb_get_file_descriptor(connection_), POLLIN, 0};
    // Anything the server sends shows it alive: a large image may take long but keeps coming.
    if (poll(&socket, 1, timeoutMs) > 0) deadline = Clock::now() + kPatience;
    if (xcb_poll_for_reply(connection_, request, reply, error) != 0) return true;
    if (Clock::now() >= deadline) break;
    timeoutMs = kSliceMs;
  }
  xcb_discard_reply(connection_, request);
  // One cheap question tells when the server answers again; until then nothing more is sent.
  std::lock_guard<std::mutex> lock(probeMutex_);
  if (!probe_) {
    probe_ = xcb_get_input_focus(connection_).sequence;
    xcb_flush(connection_);
  }
  return false;
}

bool X11Exchange::succeeded(xcb_void_cookie_t cookie) {
  // Answered in order: once the round trip is back, the request's error, if any, is in.
  XcbReply<xcb_get_input_focus_reply_t> sync =
      reply<xcb_get_input_focus_reply_t>(xcb_get_input_focus(session_.connection()));
  void* none = nullptr;
  xcb_generic_error_t* error = nullptr;
  if (sync == nullptr) {
    xcb_discard_reply(session_.connection(), cookie.sequence);
    return false;
  }
  xcb_poll_for_reply(session_.connection(), cookie.sequence, &none, &error);
  std::free(none);
  const bool ok = error == nullptr;
  std::free(error);
  return ok;
}

}  // namespace corvane
