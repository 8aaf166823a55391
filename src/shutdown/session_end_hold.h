// How a platform holds back the end of the session for shutdownHandler: Windows by subclassing the
// application's window, Linux with a logind inhibitor lock. The handler's shared part checks the
// arguments and keeps the callbacks; the platform tells it when the session is about to end.
#pragma once

#include <cstdint>

namespace corvane {

using WindowHandle = uint64_t;

class SessionEndHold {
 public:
  virtual ~SessionEndHold() = default;
  // On the JavaScript thread, once for every call with a valid handle, after its callback was
  // taken (or refused).
  virtual void hold(WindowHandle window) = 0;
};

SessionEndHold& sessionEndHold();

// Tells the latest callback of a live environment "SHUTDOWN"; from any thread, never waiting for
// the JavaScript thread.
void notifyShutdown();

}  // namespace corvane
