#include "mouse/mouse_tracker.h"

#include <atomic>
#include <memory>
#include <string>

#include "common/callback_queue.h"
#include "common/diagnostics.h"
#include "common/never_destroyed.h"
#include "common/raise.h"
#include "common/service_runs.h"
#include "common/worker_loop.h"
#include "mouse/activity.h"

namespace corvane {
namespace {

constexpr int32_t kDefaultIntervalMs = 100;
constexpr uint64_t kRetryAfterFailedReadMs = 100;
constexpr StartErrors kErrors{"Tracking is already running", "Mouse Tracker", "mouse tracking"};

void deliverMoved(Napi::Env env, Napi::Function callback, bool& moved) {
  callback.Call({Napi::Boolean::New(env, moved)});
}

using MovedQueue = CallbackQueue<bool, deliverMoved>;

// The one tracking run of the process, and what outlives a run: the interval, and the sensor's
// last look, from which the next run goes on.
class MouseTracker {
 public:
  bool isTracking() const { return runs_.running(); }

  void setInterval(int32_t ms) { intervalMs_.store(ms > 0 ? ms : kDefaultIntervalMs); }

  StartOutcome start(Napi::Env env, const Napi::Function& callback) {
    return runs_.start(env,
                       MovedQueue::create(env, callback, kErrors.resourceName, kQueuedItems, onFinalized),
                       false, [this](MovedQueue& queue, const RunningFlag& running) { run(queue, running); });
  }

  void stop() { runs_.stop(true); }
  void stopOwnedBy(napi_env env) { runs_.stopOwnedBy(env); }

 private:
  static void onFinalized(void*) { writeDiagnosticLine("ThreadSafeFunction finalized!"); }

  void run(MovedQueue& queue, const RunningFlag& running) {
    runTicks(
        running, queue,
        [this] {
          Tick<bool> tick;
          const ActivityRead read = activitySensor().look();
          if (!read.ok) {
            writeDiagnosticLine("GetCursorPos failed! Error: " + std::to_string(read.error));
            tick.pauseMs = kRetryAfterFailedReadMs;
            return tick;
          }
          tick.item = std::make_unique<bool>(read.active);
          tick.pauseMs = static_cast<uint64_t>(intervalMs_.load());
          return tick;
        },
        [](Posted) {
          writeDiagnosticLine("Failed to call JS callback!");
          return true;
        });
  }

  ServiceRuns runs_;
  std::atomic<int32_t> intervalMs_{kDefaultIntervalMs};
};

MouseTracker& tracker() { return neverDestroyed<MouseTracker>(); }

}  // namespace

Napi::Value startMouseTracking(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  if (tracker().isTracking()) {
    raiseError(env, kErrors.busy);
    return env.Null();
  }
  if (info.Length() == 0 || !info[0].IsFunction()) {
    raiseTypeError(env, "Expected a callback function");
    return env.Null();
  }
  if (info.Length() >= 2 && info[1].IsNumber())
    tracker().setInterval(info[1].As<Napi::Number>().Int32Value());
  if (raiseFailedStart(env, tracker().start(env, info[0].As<Napi::Function>()), kErrors)) return env.Null();
  return Napi::Boolean::New(env, true);
}

Napi::Value stopMouseTracking(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  if (!tracker().isTracking()) {
    raiseError(env, "Tracking is not running");
    return env.Null();
  }
  tracker().stop();
  return Napi::Boolean::New(env, true);
}

void stopMouseTrackingOwnedBy(napi_env env) { tracker().stopOwnedBy(env); }

}  // namespace corvane
