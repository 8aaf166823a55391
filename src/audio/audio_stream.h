#pragma once

#include <napi.h>

namespace corvane {

// startStream(callback, intervalMs?)
Napi::Value startStream(const Napi::CallbackInfo& info);
// stopStream()
Napi::Value stopStream(const Napi::CallbackInfo& info);

// Stops the streams that env started and waits for their workers; env is being torn down.
void stopStreamsOwnedBy(napi_env env);

}  // namespace corvane
