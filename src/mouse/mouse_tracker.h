#pragma once

#include <napi.h>

namespace corvane {

// startMouseTracking(callback, intervalMs?)
Napi::Value startMouseTracking(const Napi::CallbackInfo& info);
// stopMouseTracking()
Napi::Value stopMouseTracking(const Napi::CallbackInfo& info);

// Stops a run that env started; env is being torn down.
void stopMouseTrackingOwnedBy(napi_env env);

}  // namespace corvane
