#include "common/test_controls.h"

namespace corvane {

void attachBenchmarkControls(Napi::Env, Napi::Object) {}

}  // namespace corvane
