#include "audio/audio_stream.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>

#include "audio/peak_meter.h"
#include "common/callback_queue.h"
#include "common/never_destroyed.h"
#include "common/raise.h"
#include "common/service_runs.h"
#include "common/worker_loop.h"

namespace corvane {
namespace {

constexpr int32_t kDefaultIntervalMs = 16000;
constexpr StartErrors kErrors{"Monitoring is already running", "Audio Level Callback", "audio level"};

void deliverLevel(Napi::Env env, Napi::Function callback, float& level) {
  callback.Call({Napi::Number::New(env, static_cast<double>(level))});
}

using LevelQueue = CallbackQueue<float, deliverLevel>;

// The stream of the process. A stop does not wait for the worker: it may finish the tick it is
// in, whose value, like those already queued, still reaches the callback.
class AudioStream {
 public:
  bool isMonitoring() const { return runs_.running(); }

  void setInterval(int32_t ms) { intervalMs_.store(ms > 0 ? ms : kDefaultIntervalMs); }

  StartOutcome start(Napi::Env env, const Napi::Function& callback) {
    return runs_.start(env, LevelQueue::create(env, callback, kErrors.resourceName), false,
                       [this](LevelQueue& queue, const RunningFlag& running) { run(queue, running); });
  }

  bool stop() { return runs_.stop(false); }
  void stopOwnedBy(napi_env env) { runs_.stopOwnedBy(env); }

 private:
  // A refused value ends the worker, while the stream stays on until it is stopped.
  void run(LevelQueue& queue, const RunningFlag& running) {
    const std::unique_ptr<PeakMeter> meter = openPeakMeter();
    runTicks(
        running, queue,
        [this, &meter] {
          return Tick<float>{std::make_unique<float>(meter->read()),
                             static_cast<uint64_t>(std::max(intervalMs_.load(), 0))};
        },
        [](Posted) { return false; });
  }

  ServiceRuns runs_;
  std::atomic<int32_t> intervalMs_{kDefaultIntervalMs};
};

AudioStream& audioStream() { return neverDestroyed<AudioStream>(); }

}  // namespace

Napi::Value startStream(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  if (audioStream().isMonitoring()) {
    raiseError(env, kErrors.busy);
    return env.Null();
  }
  if (info.Length() == 0 || !info[0].IsFunction()) {
    raiseTypeError(env, "Function expected as first argument");
    return env.Null();
  }
  if (info.Length() >= 2 && info[1].IsNumber())
    audioStream().setInterval(info[1].As<Napi::Number>().Int32Value());
  if (raiseFailedStart(env, audioStream().start(env, info[0].As<Napi::Function>()), kErrors))
    return env.Null();
  return env.Undefined();
}

Napi::Value stopStream(const Napi::CallbackInfo& info) {
  return Napi::Boolean::New(info.Env(), audioStream().stop());
}

void stopStreamsOwnedBy(napi_env env) { audioStream().stopOwnedBy(env); }

}  // namespace corvane
