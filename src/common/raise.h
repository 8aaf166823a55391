// The one way a handler reports a failure: leave a JavaScript exception pending and return.
#pragma once

#include <napi.h>

namespace corvane {

// Throws a plain Error with a fixed message; the caller returns right after.
inline void raiseError(Napi::Env env, const char* message) {
  Napi::HandleScope scope(env);
  Napi::Error::New(env, message).ThrowAsJavaScriptException();
}

// Throws a TypeError with a fixed message; the caller returns right after.
inline void raiseTypeError(Napi::Env env, const char* message) {
  Napi::HandleScope scope(env);
  Napi::TypeError::New(env, message).ThrowAsJavaScriptException();
}

}  // namespace corvane
