// Entry points and the export table.
#include <napi.h>

#include <mutex>
#include <set>

#include "audio/audio_stream.h"
#include "capture/capture.h"
#include "common/test_controls.h"
#include "displays/get_monitors.h"
#include "mouse/mouse_tracker.h"
#include "shutdown/shutdown_handler.h"

namespace corvane {
namespace {

// Each function gets its own binding record (handler and null data) that the function owns, and
// no name, so that its `name` is empty and its `length` is 0. Both stops are distinct functions
// over one handler.
template <typename H>
void exportFunction(Napi::Env env, Napi::Object exports, const char* name, H handler) {
  exports.Set(name, Napi::Function::New(env, handler, nullptr, nullptr));
}

// Services hold thread-safe functions of the environment that started them, and those die with
// it: a Worker that ends, or the main environment at teardown, first stops what it started.
void stopServicesOf(void* env) {
  stopCaptureOwnedBy(static_cast<napi_env>(env));
  stopMouseTrackingOwnedBy(static_cast<napi_env>(env));
  stopStreamsOwnedBy(static_cast<napi_env>(env));
}

void watchEnvironment(napi_env env) {
  // Registration can run twice in one environment; a hook may be added only once.
  static std::mutex mutex;
  static std::set<napi_env> watched;
  std::lock_guard<std::mutex> lock(mutex);
  if (!watched.insert(env).second) return;
  napi_add_env_cleanup_hook(
      env,
      [](void* data) {
        stopServicesOf(data);
        std::lock_guard<std::mutex> lock(mutex);
        watched.erase(static_cast<napi_env>(data));
      },
      env);
}

Napi::Object registerModule(Napi::Env env, Napi::Object exports) {
  exportFunction(env, exports, "getMonitors", getMonitors);
  exportFunction(env, exports, "shutdownHandler", shutdownHandler);
  exportFunction(env, exports, "startCaptureScreen", startCaptureScreen);
  exportFunction(env, exports, "stopCaptureScreen", stopCapture);
  exportFunction(env, exports, "startMouseTracking", startMouseTracking);
  exportFunction(env, exports, "stopMouseTracking", stopMouseTracking);
  exportFunction(env, exports, "startCaptureMultiScreens", startCaptureMultiScreens);
  exportFunction(env, exports, "stopCaptureMultiScreens", stopCapture);
  exportFunction(env, exports, "startStream", startStream);
  exportFunction(env, exports, "stopStream", stopStream);
  attachTestControls(env, exports);
  attachBenchmarkControls(env, exports);
  watchEnvironment(env);
  return exports;
}

}  // namespace
}  // namespace corvane

// The registration macro pastes the function's name into identifiers, so it takes a plain one.
static Napi::Object Init(Napi::Env env, Napi::Object exports) {
  return corvane::registerModule(env, exports);
}

NODE_API_MODULE(corvane, Init)
