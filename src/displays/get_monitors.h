#pragma once

#include <napi.h>

namespace corvane {

// getMonitors(): an array of DisplayInfo, one per monitor, in enumeration order.
Napi::Value getMonitors(const Napi::CallbackInfo& info);

}  // namespace corvane
