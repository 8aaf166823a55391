// The benchmark build's recorder: sums each phase of every capture tick, in wall time and in the
// processor time of the thread that ran it, and a `benchmark` control object on the exports reads
// and resets the sums.
#include <napi.h>
#include <time.h>

#include <atomic>
#include <chrono>

#include "common/test_controls.h"
#include "common/tick_phases.h"

namespace corvane {
namespace {

constexpr int kPhases = static_cast<int>(TickPhase::Count);
std::atomic<int64_t> nanoseconds[kPhases];
std::atomic<int64_t> cpuNanoseconds[kPhases];
std::atomic<int64_t> counts[kPhases];

int64_t threadCpuNs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

int64_t wallNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
constexpr const char* kNames[kPhases] = {"grab", "pixelBuffer", "frame", "sample", "queue", "deliver"};

Napi::Value phases(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  Napi::Object result = Napi::Object::New(env);
  for (int i = 0; i < kPhases; ++i) {
    Napi::Object phase = Napi::Object::New(env);
    phase.Set("ns", Napi::Number::New(env, static_cast<double>(nanoseconds[i].load())));
    phase.Set("cpuNs", Napi::Number::New(env, static_cast<double>(cpuNanoseconds[i].load())));
    phase.Set("count", Napi::Number::New(env, static_cast<double>(counts[i].load())));
    result.Set(kNames[i], phase);
  }
  return result;
}

Napi::Value reset(const Napi::CallbackInfo& info) {
  for (int i = 0; i < kPhases; ++i) {
    nanoseconds[i] = 0;
    cpuNanoseconds[i] = 0;
    counts[i] = 0;
  }
  return info.Env().Undefined();
}

}  // namespace

PhaseStart beginTickPhase() { return {wallNs(), threadCpuNs()}; }

void endTickPhase(TickPhase phase, const PhaseStart& start) {
  const int i = static_cast<int>(phase);
  nanoseconds[i] += wallNs() - start.wallNs;
  cpuNanoseconds[i] += threadCpuNs() - start.cpuNs;
  ++counts[i];
}

void attachBenchmarkControls(Napi::Env env, Napi::Object exports) {
  Napi::Object benchmark = Napi::Object::New(env);
  benchmark.Set("phases", Napi::Function::New(env, phases, "phases"));
  benchmark.Set("reset", Napi::Function::New(env, reset, "reset"));
  exports.DefineProperty(Napi::PropertyDescriptor::Value("benchmark", benchmark, napi_default));
}

}  // namespace corvane
