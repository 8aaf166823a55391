// The benchmark build's recorder: sums each phase of every capture tick, and a `benchmark`
// control object on the exports reads and resets the sums.
#include <napi.h>

#include <atomic>

#include "common/test_controls.h"
#include "common/tick_phases.h"

namespace corvane {
namespace {

constexpr int kPhases = static_cast<int>(TickPhase::Count);
std::atomic<int64_t> nanoseconds[kPhases];
std::atomic<int64_t> counts[kPhases];
constexpr const char* kNames[kPhases] = {"grab", "pixelBuffer", "frame", "sample", "queue", "deliver"};

Napi::Value phases(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  Napi::Object result = Napi::Object::New(env);
  for (int i = 0; i < kPhases; ++i) {
    Napi::Object phase = Napi::Object::New(env);
    phase.Set("ns", Napi::Number::New(env, static_cast<double>(nanoseconds[i].load())));
    phase.Set("count", Napi::Number::New(env, static_cast<double>(counts[i].load())));
    result.Set(kNames[i], phase);
  }
  return result;
}

Napi::Value reset(const Napi::CallbackInfo& info) {
  for (int i = 0; i < kPhases; ++i) {
    nanoseconds[i] = 0;
    counts[i] = 0;
  }
  return info.Env().Undefined();
}

}  // namespace

void recordTickPhase(TickPhase phase, std::chrono::steady_clock::duration spent) {
  const int i = static_cast<int>(phase);
  nanoseconds[i] += std::chrono::duration_cast<std::chrono::nanoseconds>(spent).count();
  ++counts[i];
}

void attachBenchmarkControls(Napi::Env env, Napi::Object exports) {
  Napi::Object benchmark = Napi::Object::New(env);
  benchmark.Set("phases", Napi::Function::New(env, phases, "phases"));
  benchmark.Set("reset", Napi::Function::New(env, reset, "reset"));
  exports.DefineProperty(Napi::PropertyDescriptor::Value("benchmark", benchmark, napi_default));
}

}  // namespace corvane
