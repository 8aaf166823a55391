#include "common/test_controls.h"

namespace corvane {

void attachTestControls(Napi::Env, Napi::Object) {}

}  // namespace corvane
