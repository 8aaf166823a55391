#include "common/raise.h"

namespace corvane {
namespace {

template <typename ErrorClass, typename Message>
void raise(Napi::Env env, const Message& message) {
  if (env.IsExceptionPending()) return;
  Napi::HandleScope scope(env);
  ErrorClass::New(env, message).ThrowAsJavaScriptException();
}

}  // namespace

void raiseError(Napi::Env env, const char* message) { raise<Napi::Error>(env, message); }
void raiseTypeError(Napi::Env env, const char* message) { raise<Napi::TypeError>(env, message); }
void raiseRangeError(Napi::Env env, const std::string& message) { raise<Napi::RangeError>(env, message); }

}  // namespace corvane
