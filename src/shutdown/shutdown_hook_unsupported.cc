// Holding back the end of the session is a Windows feature; other platforms do not have it yet,
// and say so.
#include "common/raise.h"
#include "shutdown/shutdown_hook.h"

namespace corvane {

void shutdownHandler(const Napi::CallbackInfo& info) {
  raiseError(
      info.Env(),
      "shutdownHandler is not supported on this platform: the session end is only held back on Windows");
}

}  // namespace corvane
