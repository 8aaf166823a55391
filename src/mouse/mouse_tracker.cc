#include "mouse/mouse_tracker.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "common/diagnostics.h"
#include "common/faults.h"
#include "common/raise.h"
#include "common/running_flag.h"
#include "common/worker_thread.h"
#include "mouse/cursor.h"

namespace corvane {
namespace {

constexpr int32_t kDefaultIntervalMs = 100;
constexpr uint64_t kRetryAfterFailedReadMs = 100;

void deliverMoved(Napi::Env env, Napi::Function callback, void*, bool* item) {
  std::unique_ptr<bool> moved(item);
  if (env == nullptr || callback.IsEmpty()) return;
  callback.Call({Napi::Boolean::New(env, *moved)});
}

void onFinalized(Napi::Env, void*, void*) { writeDiagnosticLine("ThreadSafeFunction finalized!"); }

using MovedQueue = Napi::TypedThreadSafeFunction<void, bool, deliverMoved>;

struct Point {
  int32_t x = 0;
  int32_t y = 0;
};

// The one tracking run of the process. Start: create the queue, set the flag, start the worker.
// Stop: clear the flag, join the worker, then release the queue, so that the worker only ever
// posts to a live queue. Environments (Workers) share it, so each operation holds the lock.
class MouseTracker {
 public:
  bool isTracking() const { return tracking_.isSet(); }

  void setInterval(int32_t ms) { intervalMs_.store(ms > 0 ? ms : kDefaultIntervalMs); }

  // False, with an exception pending, when the queue or the thread cannot be made.
  bool start(Napi::Env env, const Napi::Function& callback) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (tracking_.isSet()) {  // another environment started a run meanwhile
      raiseError(env, "Tracking is already running");
      return false;
    }
    if (injectedFault(Fault::ThreadSafeFunction)) {
      raiseError(env, "napi_create_threadsafe_function failed for Mouse Tracker");
      return false;
    }
    void* none = nullptr;
    MovedQueue queue = MovedQueue::New(env, callback, "Mouse Tracker", 0, 1, none, onFinalized, none);
    if (env.IsExceptionPending() || static_cast<napi_threadsafe_function>(queue) == nullptr) return false;
    queue_ = queue;
    queueClosing_ = false;
    tracking_.set();
    std::string error;
    if (!worker_.start([this] { run(); }, error)) {
      tracking_.clear();
      queue_.Release();
      queue_ = MovedQueue();
      raiseError(env, ("could not start the mouse tracking thread: " + error).c_str());
      return false;
    }
    owner_ = env;
    return true;
  }

  void stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    stopLocked(true);
  }

  void stopIfOwnedBy(napi_env env) {
    std::lock_guard<std::mutex> lock(mutex_);
    // The environment's teardown finalizes the queue itself.
    if (tracking_.isSet() && owner_ == env) stopLocked(false);
  }

 private:
  void stopLocked(bool release) {
    tracking_.clear();
    worker_.join();
    if (release && !queueClosing_ && static_cast<napi_threadsafe_function>(queue_) != nullptr)
      queue_.Release();
    queue_ = MovedQueue();
    owner_ = nullptr;
  }

  void run() {
    while (tracking_.isSet()) {
      const CursorRead read = readCursor();
      if (!read.ok) {
        writeDiagnosticLine("GetCursorPos failed! Error: " + std::to_string(read.error));
        tracking_.pause(kRetryAfterFailedReadMs);
        continue;
      }
      const bool moved = read.x != last_.x || read.y != last_.y;
      last_ = Point{read.x, read.y};
      if (!queueClosing_) post(moved);
      tracking_.pause(static_cast<uint64_t>(intervalMs_.load()));
    }
  }

  void post(bool moved) {
    auto item = std::make_unique<bool>(moved);
    const napi_status status =
        injectedFault(Fault::QueueCall) ? napi_generic_failure : queue_.BlockingCall(item.get());
    if (status == napi_ok) {
      static_cast<void>(item.release());  // the queue owns it
      return;
    }
    writeDiagnosticLine("Failed to call JS callback!");
    // A closing queue belongs to an environment that is going away: nothing more may touch it.
    if (status == napi_closing) queueClosing_ = true;
  }

  std::mutex mutex_;
  RunningFlag tracking_;
  std::atomic<int32_t> intervalMs_{kDefaultIntervalMs};
  Point last_;  // the worker's alone; kept across runs
  WorkerThread worker_;
  MovedQueue queue_;
  std::atomic<bool> queueClosing_{false};
  napi_env owner_ = nullptr;
};

// Never destroyed, for the reasons given at the capture slot.
MouseTracker& tracker() {
  static MouseTracker& instance = *new MouseTracker;
  return instance;
}

}  // namespace

Napi::Value startMouseTracking(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  if (tracker().isTracking()) {
    raiseError(env, "Tracking is already running");
    return env.Null();
  }
  if (info.Length() == 0 || !info[0].IsFunction()) {
    raiseTypeError(env, "Expected a callback function");
    return env.Null();
  }
  if (info.Length() >= 2 && info[1].IsNumber())
    tracker().setInterval(info[1].As<Napi::Number>().Int32Value());
  if (!tracker().start(env, info[0].As<Napi::Function>())) return env.Null();
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

void stopMouseTrackingOwnedBy(napi_env env) { tracker().stopIfOwnedBy(env); }

}  // namespace corvane
