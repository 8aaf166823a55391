// Hook for builds that carry test controls on the exports object. Shipping builds link the
// empty variant, so their exports hold only the public functions.
#pragma once

#include <napi.h>

namespace corvane {

void attachTestControls(Napi::Env env, Napi::Object exports);

}  // namespace corvane
