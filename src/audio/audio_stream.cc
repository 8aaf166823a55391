#include "audio/audio_stream.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/audio_platform.h"
#include "common/faults.h"
#include "common/raise.h"
#include "common/running_flag.h"
#include "common/worker_thread.h"

namespace corvane {
namespace {

constexpr int32_t kDefaultIntervalMs = 16000;

struct StreamRun;
void deliverLevel(Napi::Env env, Napi::Function callback, StreamRun*, float* item);
using LevelQueue = Napi::TypedThreadSafeFunction<StreamRun, float, deliverLevel>;

// One stream from its start to the end of its worker. Each stream has a flag of its own, so a
// worker of a stopped stream never carries on into a newer one.
struct StreamRun {
  RunningFlag running;
  LevelQueue queue;
  napi_env owner = nullptr;

  std::mutex doneMutex;
  std::condition_variable doneSignal;
  bool done = false;

  void finish() {
    std::lock_guard<std::mutex> lock(doneMutex);
    done = true;
    doneSignal.notify_all();
  }
  void waitUntilDone() {
    std::unique_lock<std::mutex> lock(doneMutex);
    doneSignal.wait(lock, [this] { return done; });
  }
  bool finished() {
    std::lock_guard<std::mutex> lock(doneMutex);
    return done;
  }
};

void deliverLevel(Napi::Env env, Napi::Function callback, StreamRun*, float* item) {
  std::unique_ptr<float> level(item);
  if (env == nullptr || callback.IsEmpty()) return;
  callback.Call({Napi::Number::New(env, static_cast<double>(*level))});
}

// One value per tick until the stream is stopped or its queue refuses a value. True when the queue
// is closing, after which nothing may touch it.
bool readUntilStopped(StreamRun& run, const std::atomic<int32_t>& intervalMs) {
  while (run.running.isSet()) {
    auto level = std::make_unique<float>(readPeakLevel(audioPlatform()));
    const napi_status status =
        injectedFault(Fault::QueueCall) ? napi_generic_failure : run.queue.BlockingCall(level.get());
    if (status != napi_ok) return status == napi_closing;
    static_cast<void>(level.release());  // the queue owns it
    run.running.pause(static_cast<uint64_t>(std::max(intervalMs.load(), 0)));
  }
  return false;
}

// Keeps the worker inside COM for its whole run; a failure here shows in each tick's own entry.
class WorkerApartment {
 public:
  explicit WorkerApartment(AudioPlatform& platform)
      : platform_(platform), entered_(platform.enterWorkerApartment() >= 0) {}
  ~WorkerApartment() {
    if (entered_) platform_.leaveWorkerApartment();
  }
  WorkerApartment(const WorkerApartment&) = delete;
  WorkerApartment& operator=(const WorkerApartment&) = delete;

 private:
  AudioPlatform& platform_;
  bool entered_;
};

// The worker holds the queue open with a reference of its own, which it gives up as its last act:
// its final post can then never reach a finalized queue. Its pause ends as soon as the stream is
// stopped, so that reference is not held for long after a stop.
void runStream(const std::shared_ptr<StreamRun>& run, const std::atomic<int32_t>& intervalMs) {
  bool closing = false;
  {
    const WorkerApartment apartment(audioPlatform());
    closing = readUntilStopped(*run, intervalMs);
  }
  if (!closing) run->queue.Release();
  run->finish();
}

// The stream of the process. Stop does not wait for the worker: it clears the stream's flag and
// gives up the JavaScript side's reference to the queue. Environments (Workers) share it, so each
// operation holds the lock.
class AudioStream {
 public:
  bool isMonitoring() const { return monitoring_.load(); }

  void setInterval(int32_t ms) { intervalMs_.store(ms > 0 ? ms : kDefaultIntervalMs); }

  // False, with an exception pending, when the queue or the thread cannot be made.
  bool start(Napi::Env env, const Napi::Function& callback) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (current_) {  // another environment started a stream meanwhile
      raiseError(env, "Monitoring is already running");
      return false;
    }
    if (injectedFault(Fault::ThreadSafeFunction)) {
      raiseError(env, "napi_create_threadsafe_function failed for Audio Level Callback");
      return false;
    }
    auto run = std::make_shared<StreamRun>();
    auto* holder = new std::shared_ptr<StreamRun>(run);  // freed by the finalizer
    run->queue = LevelQueue::New(env, callback, "Audio Level Callback", 0, 1, run.get(), onFinalized, holder);
    if (env.IsExceptionPending() || static_cast<napi_threadsafe_function>(run->queue) == nullptr) {
      delete holder;
      return false;
    }
    run->queue.Acquire();  // the worker's reference
    run->running.set();
    run->owner = env;
    WorkerThread worker;
    std::string error;
    if (!worker.start([run, this] { runStream(run, intervalMs_); }, error)) {
      run->running.clear();
      run->queue.Release();
      run->queue.Release();
      raiseError(env, ("could not start the audio level thread: " + error).c_str());
      return false;
    }
    worker.detach();
    pruneFinished();
    live_.push_back(run);
    current_ = run;
    monitoring_.store(true);
    return true;
  }

  bool stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!current_) return false;
    std::shared_ptr<StreamRun> run = std::move(current_);
    monitoring_.store(false);
    run->running.clear();
    run->queue.Release();
    return true;
  }

  // The environment tears the queues down itself; the workers must be gone before it does.
  void stopOwnedBy(napi_env env) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (current_ && current_->owner == env) {
      current_.reset();
      monitoring_.store(false);
    }
    for (const auto& run : live_) {
      if (run->owner != env) continue;
      run->running.clear();
      run->waitUntilDone();
    }
    pruneFinished();
  }

 private:
  // The queue is finalized: its stream ends as if stopped, unless a newer stream took its place.
  static void onFinalized(Napi::Env, std::shared_ptr<StreamRun>* holder, StreamRun* run) {
    stream().finalized(run);
    delete holder;
  }

  void finalized(StreamRun* run) {
    std::lock_guard<std::mutex> lock(mutex_);
    run->running.clear();
    if (current_.get() == run) {
      current_.reset();
      monitoring_.store(false);
    }
  }

  void pruneFinished() {
    live_.erase(std::remove_if(live_.begin(), live_.end(), [](const auto& run) { return run->finished(); }),
                live_.end());
  }

  static AudioStream& stream();
  friend AudioStream& audioStream();

  std::mutex mutex_;
  std::atomic<bool> monitoring_{false};
  std::atomic<int32_t> intervalMs_{kDefaultIntervalMs};
  std::shared_ptr<StreamRun> current_;
  std::vector<std::shared_ptr<StreamRun>> live_;  // streams whose worker may still run
};

// Never destroyed: a worker still running at process exit must find it intact.
AudioStream& AudioStream::stream() {
  static AudioStream& instance = *new AudioStream;
  return instance;
}

AudioStream& audioStream() { return AudioStream::stream(); }

}  // namespace

Napi::Value startStream(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  if (audioStream().isMonitoring()) {
    raiseError(env, "Monitoring is already running");
    return env.Null();
  }
  if (info.Length() == 0 || !info[0].IsFunction()) {
    raiseTypeError(env, "Function expected as first argument");
    return env.Null();
  }
  if (info.Length() >= 2 && info[1].IsNumber())
    audioStream().setInterval(info[1].As<Napi::Number>().Int32Value());
  if (!audioStream().start(env, info[0].As<Napi::Function>())) return env.Null();
  return env.Undefined();
}

Napi::Value stopStream(const Napi::CallbackInfo& info) {
  return Napi::Boolean::New(info.Env(), audioStream().stop());
}

void stopStreamsOwnedBy(napi_env env) { audioStream().stopOwnedBy(env); }

}  // namespace corvane
