#pragma once

#include <napi.h>

namespace corvane {

// startCaptureScreen(callback, display, interval, samplingRate)
Napi::Value startCaptureScreen(const Napi::CallbackInfo& info);
// startCaptureMultiScreens(callback, displays, interval, samplingRate)
Napi::Value startCaptureMultiScreens(const Napi::CallbackInfo& info);
// stopCaptureScreen() and stopCaptureMultiScreens()
Napi::Value stopCapture(const Napi::CallbackInfo& info);

// Stops a capture that env started; env is being torn down.
void stopCaptureOwnedBy(napi_env env);

}  // namespace corvane
