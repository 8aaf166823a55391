// The one way a handler reports a failure: leave a JavaScript exception pending and return.
#pragma once

#include <napi.h>

namespace corvane {

// Each throws an error of its class with a fixed message, unless an exception is already
// pending (from a getter, a conversion or a failed Node-API call): that one is what the caller
// sees, and a second throw would end the process. The caller returns right after.
void raiseError(Napi::Env env, const char* message);
void raiseTypeError(Napi::Env env, const char* message);
void raiseRangeError(Napi::Env env, const std::string& message);

}  // namespace corvane
