// Hooks for builds that carry test or benchmark controls on the exports object. Shipping builds
// link the empty variants, so their exports hold only the public functions.
#pragma once

#include <napi.h>

namespace corvane {

void attachTestControls(Napi::Env env, Napi::Object exports);

// The benchmark build's `benchmark` object, which reads the time spent in each capture phase.
void attachBenchmarkControls(Napi::Env env, Napi::Object exports);

}  // namespace corvane
