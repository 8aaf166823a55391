#pragma once

#include <napi.h>

namespace corvane {

// shutdownHandler(windowHandle, callback)
void shutdownHandler(const Napi::CallbackInfo& info);

}  // namespace corvane
