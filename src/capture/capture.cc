#include "capture/capture.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "capture/display_sight.h"
#include "capture/grabber.h"
#include "capture/sampler.h"
#include "common/args.h"
#include "common/callback_queue.h"
#include "common/never_destroyed.h"
#include "common/raise.h"
#include "common/service_runs.h"
#include "common/tick_phases.h"
#include "common/worker_loop.h"

namespace corvane {
namespace {

// A capture replaces a running one, so it is never busy.
constexpr StartErrors kErrors{"", "ScreenCapture", "screen capture"};
constexpr size_t kMaxDisplays = 3;

struct SingleCaptureJob {
  uint64_t interval = 0;
  uint64_t samplingRate = 1;
  std::string deviceName;
  int32_t width = 0;
  int32_t height = 0;
};

struct MultiCaptureJob {
  uint64_t interval = 0;
  uint64_t samplingRate = 1;
  std::vector<std::string> deviceNames;                      // in array order; a repeated name stays repeated
  std::map<std::string, std::pair<int32_t, int32_t>> sizes;  // the last entry of a name wins
};

struct SampledFrameSet {
  std::vector<std::string> deviceNames;
  std::map<std::string, SampledFrame> frames;
};

void deliverFrame(Napi::Env env, Napi::Function callback, SampledFrame& frame) {
  PhaseTimer timer(TickPhase::Deliver);
  Napi::Buffer<uint8_t> buffer = Napi::Buffer<uint8_t>::Copy(env, frame.bytes.get(), frame.size);
  if (env.IsExceptionPending()) return;
  callback.Call({buffer});
}

void deliverFrameSet(Napi::Env env, Napi::Function callback, SampledFrameSet& set) {
  PhaseTimer timer(TickPhase::Deliver);
  Napi::Object frames = Napi::Object::New(env);
  for (const std::string& name : set.deviceNames) {
    const SampledFrame& frame = set.frames.at(name);
    frames.Set(name, Napi::Buffer<uint8_t>::Copy(env, frame.bytes.get(), frame.size));
    if (env.IsExceptionPending()) return;
  }
  callback.Call({frames});
}

using FrameQueue = CallbackQueue<SampledFrame, deliverFrame>;
using FrameSetQueue = CallbackQueue<SampledFrameSet, deliverFrameSet>;

// False when the frame cannot be allocated: the tick is skipped. A display the grab did not see
// leaves the frame zero-filled, and sight says so when it turned blind.
bool grabAndSample(DisplayGrabber& grabber, DisplaySight& sight, int32_t width, int32_t height,
                   uint64_t samplingRate, SampledFrame& frame) {
  {
    PhaseTimer timer(TickPhase::Frame);
    frame = SampledFrame::zeroed(sampledFrameSize(width, height, samplingRate));
  }
  if (!frame.allocated()) return false;
  grabber.grab(frame.bytes.get());
  sight.noteGrab(grabber);
  return true;
}

// A frame that could not be queued is dropped; the capture goes on unless the queue is closing.
bool dropFrame(Posted) { return true; }

void runSingleCapture(const SingleCaptureJob& job, FrameQueue& frames, const RunningFlag& running) {
  // The grabber keeps what it opened for the whole capture: opening costs more than a grab.
  std::unique_ptr<DisplayGrabber> grabber =
      openDisplayGrabber({job.deviceName, job.width, job.height}, job.samplingRate);
  DisplaySight sight(job.deviceName);
  runTicks(
      running, frames,
      [&] {
        Tick<SampledFrame> tick{std::make_unique<SampledFrame>(), job.interval};
        if (!grabAndSample(*grabber, sight, job.width, job.height, job.samplingRate, *tick.item)) {
          tick.item.reset();
        }
        return tick;
      },
      dropFrame);
}

void runMultiCapture(const MultiCaptureJob& job, FrameSetQueue& sets, const RunningFlag& running) {
  // One grabber per name, kept for the whole capture as the single capture keeps its own: opening
  // one costs more than its grab. A tick grabs and samples one display after another, so they
  // take turns.
  std::vector<DisplayRequest> displays;
  std::map<std::string, size_t> grabberOf;
  for (const std::string& name : job.deviceNames) {
    if (!grabberOf.emplace(name, displays.size()).second) continue;
    const auto [width, height] = job.sizes.at(name);
    displays.push_back({name, width, height});
  }
  const std::vector<std::unique_ptr<DisplayGrabber>> grabbers =
      openDisplayGrabbersInTurn(displays, job.samplingRate);
  // One per grabber: a repeated name is one display, told of once.
  std::vector<DisplaySight> sights;
  sights.reserve(displays.size());
  for (const DisplayRequest& display : displays) sights.emplace_back(display.deviceName);
  runTicks(
      running, sets,
      [&] {
        Tick<SampledFrameSet> tick{std::make_unique<SampledFrameSet>(), job.interval};
        tick.item->deviceNames = job.deviceNames;
        // Every display of the list is grabbed in a tick, whatever the flag says meanwhile.
        for (const std::string& name : job.deviceNames) {
          const auto [width, height] = job.sizes.at(name);
          const size_t index = grabberOf.at(name);
          if (!grabAndSample(*grabbers[index], sights[index], width, height, job.samplingRate,
                             tick.item->frames[name])) {
            tick.item.reset();  // a frame too large for memory: the tick is skipped
            break;
          }
        }
        return tick;
      },
      dropFrame);
}

bool checkSamplingRate(Napi::Env env, uint64_t samplingRate) {
  if (samplingRate >= 1 && samplingRate <= kMaxSamplingRate) return true;
  raiseRangeError(
      env, "samplingRate must be an integer from 1 to 2147483647, got " + std::to_string(samplingRate));
  return false;
}

bool checkCaptureSize(Napi::Env env, const std::string& deviceName, int32_t width, int32_t height) {
  if (captureSizeFits(width, height)) return true;
  raiseRangeError(env, "display \"" + deviceName +
                           "\": width and height must be 0 or more, and width x height x 4 " +
                           "must not exceed 2147483647 bytes, got " + std::to_string(width) + " x " +
                           std::to_string(height));
  return false;
}

// Adds the entry's name and size to job; false when it raised a TypeError. A getter or conversion
// that threw leaves its exception pending.
bool readDisplayEntry(Napi::Env env, const Napi::Value& entry, MultiCaptureJob& job) {
  if (!isObjectOrFunction(entry)) {
    raiseTypeError(env, "Display info must be objects");
    return false;
  }
  Napi::Object object = entry.As<Napi::Object>();
  if (!object.Has("displayId") || !object.Has("width") || !object.Has("height")) {
    raiseTypeError(env, "Display object missing required properties");
    return false;
  }
  std::string name = toUtf8(object.Get("displayId"));
  int32_t width = 0;
  int32_t height = 0;
  if (!env.IsExceptionPending()) width = toInt32(object.Get("width"));
  if (!env.IsExceptionPending()) height = toInt32(object.Get("height"));
  job.sizes[name] = {width, height};
  job.deviceNames.push_back(std::move(name));
  return true;
}

// The first bad entry in array order is the one named.
bool checkCaptureSizes(Napi::Env env, const MultiCaptureJob& job) {
  for (const std::string& name : job.deviceNames) {
    const auto [width, height] = job.sizes.at(name);
    if (!checkCaptureSize(env, name, width, height)) return false;
  }
  return true;
}

// The one capture that may run at a time, of either kind.
class ScreenCapture {
 public:
  // A start that passed its checks replaces a running capture: the old one is stopped as the stop
  // would, its queued frames still going to its own callback, before the new queue is made.
  template <typename Queue, typename Job, typename Run>
  StartOutcome start(Napi::Env env, const Napi::Function& callback, Job job, Run run) {
    runs_.stop(true);
    return runs_.start(
        env, Queue::create(env, callback, kErrors.resourceName), true,
        [job = std::move(job), run](Queue& items, const RunningFlag& running) { run(job, items, running); });
  }

  void stop() { runs_.stop(true); }
  void stopOwnedBy(napi_env env) { runs_.stopOwnedBy(env); }

 private:
  ServiceRuns runs_;
};

ScreenCapture& screenCapture() { return neverDestroyed<ScreenCapture>(); }

template <typename Queue, typename Job, typename Run>
bool startWorker(Napi::Env env, const Napi::Value& callback, Job job, Run run) {
  return !raiseFailedStart(
      env, screenCapture().start<Queue>(env, callback.As<Napi::Function>(), std::move(job), run), kErrors);
}

}  // namespace

Napi::Value startCaptureScreen(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  const Napi::Value callback = info[0];
  const Napi::Value display = info[1];
  if (!callback.IsFunction() || !isObjectOrFunction(display) || !info[2].IsNumber() || !info[3].IsNumber()) {
    raiseError(env, "Callback function, display object, interval, and sampling rate required");
    return env.Undefined();
  }
  Napi::Object object = display.As<Napi::Object>();
  if (!object.Has("displayId")) {
    raiseTypeError(env, "对象缺少 displayId 属性");
    return env.Undefined();
  }
  if (!object.Has("width") || !object.Has("height")) {
    raiseTypeError(env, "对象缺少 width 属性 或 height 属性");
    return env.Undefined();
  }

  SingleCaptureJob job;
  job.deviceName = toUtf8(object.Get("displayId"));
  if (!env.IsExceptionPending()) job.width = static_cast<int32_t>(toUint32(object.Get("width")));
  if (!env.IsExceptionPending()) job.height = static_cast<int32_t>(toUint32(object.Get("height")));
  // A getter or conversion that threw ends the call; nothing starts.
  if (env.IsExceptionPending()) return env.Undefined();
  job.interval = numberToUint32(info[2]);
  job.samplingRate = numberToUint32(info[3]);
  if (!checkSamplingRate(env, job.samplingRate) ||
      !checkCaptureSize(env, job.deviceName, job.width, job.height)) {
    return env.Undefined();
  }

  startWorker<FrameQueue>(env, callback, std::move(job), runSingleCapture);
  return env.Undefined();
}

Napi::Value startCaptureMultiScreens(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  const Napi::Value callback = info[0];
  if (!callback.IsFunction() || !info[1].IsArray() || !info[2].IsNumber() || !info[3].IsNumber()) {
    raiseError(env, "Callback function, display array, interval, and sampling rate required");
    return env.Undefined();
  }
  Napi::Array displays = info[1].As<Napi::Array>();
  const uint32_t length = displays.Length();
  const bool tooMany = length > kMaxDisplays;
  const uint32_t count = tooMany ? kMaxDisplays : length;

  MultiCaptureJob job;
  job.interval = numberToUint32(info[2]);
  job.samplingRate = numberToUint32(info[3]);
  for (uint32_t i = 0; i < count && !env.IsExceptionPending(); ++i) {
    const Napi::Value entry = displays.Get(i);
    if (env.IsExceptionPending()) break;
    if (!readDisplayEntry(env, entry, job)) return env.Undefined();
  }
  if (env.IsExceptionPending()) return env.Undefined();
  if (!checkSamplingRate(env, job.samplingRate) || !checkCaptureSizes(env, job)) return env.Undefined();

  if (startWorker<FrameSetQueue>(env, callback, std::move(job), runMultiCapture) && tooMany) {
    raiseError(env, "Maximum 3 displays supported, only first 3 will be captured");
  }
  return env.Undefined();
}

Napi::Value stopCapture(const Napi::CallbackInfo& info) {
  screenCapture().stop();
  return info.Env().Undefined();
}

void stopCaptureOwnedBy(napi_env env) { screenCapture().stopOwnedBy(env); }

}  // namespace corvane
