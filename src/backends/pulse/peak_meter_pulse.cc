// The PulseAudio meter (PipeWire serves it too, through pipewire-pulse), as pavucontrol reads a
// level: a record stream on the default sink's monitor with peak detection, at 25 float samples a
// second, each the peak of its 40 ms. The stream stays open for the run, since a new one delivers
// nothing for a while; each tick reports the latest peak.
//
// libpulse runs on the run's worker, within the tick: what the server sent since the last tick
// waits in the socket and is taken in one go, so nothing of ours wakes between ticks. Ticks that
// come more than a second apart cork the stream in between, so the server keeps nothing for them.
// The tick also follows the default sink and opens the connection again after the server went
// away. Everything lives as long as one run, and the run's worker, which environments already join
// at teardown, frees it before it ends.
#include <sys/time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>

#include "audio/peak_meter.h"
#include "backends/pulse/pulse_library.h"
#include "common/diagnostics.h"

namespace corvane {
namespace {

using Clock = std::chrono::steady_clock;

// The failures, apart from Windows' -1.x.
constexpr float kNoLibrary = -2.1f;
constexpr float kNoServer = -2.2f;
constexpr float kNoOutput = -2.3f;
constexpr float kStreamFailed = -2.4f;

constexpr uint32_t kPeaksPerSecond = 25;
// A local server answers in milliseconds; one that does not within these is taken as absent.
constexpr int kConnectMs = 1000;
constexpr int kStreamMs = 1000;
// A new or uncorked stream's first peak comes after one window of 40 ms; a tick waits this long.
constexpr int kFirstPeakMs = 60;
// A source that sends nothing (suspended, or a sink that renders nothing when idle) is silent: a peak
// older than a few windows stands for silence.
constexpr auto kPeakLifetime = std::chrono::milliseconds(200);
// Ticks further apart than this cork the stream between them.
constexpr auto kCorkGap = std::chrono::seconds(1);
// What one tick takes from the socket at most: a second's peaks, the server's events and replies.
constexpr int kMostEventsPerTick = 1000;

float fail(float code, const char* line) {
  writeDiagnosticLine(line);
  return code;
}

struct ContextCloser {
  const PulseLibrary* pulse;
  void operator()(pa_context* context) const {
    pulse->contextOnEvent(context, nullptr, nullptr);
    pulse->contextDisconnect(context);
    pulse->contextUnref(context);
  }
};

struct StreamCloser {
  const PulseLibrary* pulse;
  void operator()(pa_stream* stream) const {
    pulse->streamOnRead(stream, nullptr, nullptr);
    pulse->streamOnMoved(stream, nullptr, nullptr);
    pulse->streamDisconnect(stream);
    pulse->streamUnref(stream);
  }
};

struct LoopCloser {
  const PulseLibrary* pulse;
  void operator()(pa_mainloop* loop) const { pulse->mainloopFree(loop); }
};

using Context = std::unique_ptr<pa_context, ContextCloser>;
using Stream = std::unique_ptr<pa_stream, StreamCloser>;
using Loop = std::unique_ptr<pa_mainloop, LoopCloser>;

class PulsePeakMeter final : public PeakMeter {
 public:
  PulsePeakMeter() : loop_(nullptr, {pulse_}), context_(nullptr, {pulse_}), stream_(nullptr, {pulse_}) {
    if (pulse_ != nullptr) loop_.reset(pulse_->mainloopNew());
  }

  // Newest first, the loop after them.
  ~PulsePeakMeter() override {
    stream_.reset();
    context_.reset();
  }

  PulsePeakMeter(const PulsePeakMeter&) = delete;
  PulsePeakMeter& operator=(const PulsePeakMeter&) = delete;

  float read() override {
    if (!loop_) return fail(kNoLibrary, "Failed to load libpulse.so.0");
    const Clock::time_point now = Clock::now();
    const bool farApart = lastRead_ != Clock::time_point{} && now - lastRead_ > kCorkGap;
    lastRead_ = now;
    takeWhatCame();
    if (asking_) waitUntil([this] { return !asking_; }, kConnectMs);
    if (!connected()) {
      if (!connect()) {
        stream_.reset();
        context_.reset();
        return fail(kNoServer, "Failed to connect to the PulseAudio server");
      }
    } else if (lastTickFailed_) {
      // pipewire-pulse announces a new default only when it differs from the one it last announced
      // to this client, which it compares by address: a sink made where a removed one was can go
      // unannounced. After a tick without a level, the next one asks.
      askDefaultSink();
      waitUntil([this] { return !asking_; }, kConnectMs);
    }
    lastTickFailed_ = true;
    if (defaultSink_.empty()) {
      stream_.reset();
      return fail(kNoOutput, "No default audio output");
    }
    if (!streamFollowsDefault()) {
      const float failure = openStream();
      if (failure < 0) return failure;
    } else if (corked_) {
      // Only what is recorded from now on: what came meanwhile was sent before the cork.
      setCorked(false);
      peakTime_ = {};
      waitUntil([this] { return peakTime_ != Clock::time_point{}; }, kFirstPeakMs);
    }
    lastTickFailed_ = false;
    const float level = Clock::now() - peakTime_ < kPeakLifetime ? peak_ : 0.0f;
    if (farApart) setCorked(true);
    return level;
  }

 private:
  // Dispatches what is ready without blocking: what the server sent meanwhile, and our requests.
  void takeWhatCame() {
    for (int i = 0; i < kMostEventsPerTick && pulse_->mainloopIterate(loop_.get(), 0, nullptr) > 0; ++i) {
    }
  }

  // Runs the loop until done() or ms have passed; says whether done().
  template <typename Done>
  bool waitUntil(Done done, int ms) {
    if (done()) return true;
    timeval when{};
    gettimeofday(&when, nullptr);
    const int64_t micros = when.tv_usec + int64_t{ms} * 1000;
    when.tv_sec += static_cast<time_t>(micros / 1000000);
    when.tv_usec = static_cast<suseconds_t>(micros % 1000000);
    bool passed = false;
    pa_mainloop_api* api = pulse_->mainloopApi(loop_.get());
    pa_time_event* timer = api->time_new(
        api, &when,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* data) {
          *static_cast<bool*>(data) = true;
        },
        &passed);
    while (!done() && !passed && pulse_->mainloopIterate(loop_.get(), 1, nullptr) >= 0) {
    }
    api->time_free(timer);
    return done();
  }

  bool connected() const {
    return context_ && pulse_->contextState(context_.get()) == PA_CONTEXT_READY && serverKnown_;
  }

  // A new connection, subscribed to the server's changes (the default sink is one) and told the
  // default sink. Never spawns a server: a library should not start one.
  bool connect() {
    stream_.reset();
    context_.reset(pulse_->contextNew(pulse_->mainloopApi(loop_.get()), "corvane"));
    serverKnown_ = false;
    asking_ = false;
    defaultSink_.clear();
    if (!context_) return false;
    if (pulse_->contextConnect(context_.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return false;
    const auto settled = [this] {
      return pulse_->contextState(context_.get()) != PA_CONTEXT_CONNECTING &&
             pulse_->contextState(context_.get()) != PA_CONTEXT_AUTHORIZING &&
             pulse_->contextState(context_.get()) != PA_CONTEXT_SETTING_NAME;
    };
    if (!waitUntil(settled, kConnectMs) || pulse_->contextState(context_.get()) != PA_CONTEXT_READY)
      return false;
    pulse_->contextOnEvent(
        context_.get(),
        [](pa_context*, pa_subscription_event_type_t event, uint32_t, void* meter) {
          if ((event & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) == PA_SUBSCRIPTION_EVENT_SERVER)
            static_cast<PulsePeakMeter*>(meter)->askDefaultSink();
        },
        this);
    release(pulse_->contextSubscribe(context_.get(), PA_SUBSCRIPTION_MASK_SERVER, nullptr, nullptr));
    askDefaultSink();
    return waitUntil([this] { return serverKnown_; }, kConnectMs);
  }

  // The answer comes within the tick that asked: read() waits for it.
  void askDefaultSink() {
    asking_ = true;
    release(pulse_->contextServerInfo(
        context_.get(),
        [](pa_context*, const pa_server_info* info, void* data) {
          auto* meter = static_cast<PulsePeakMeter*>(data);
          meter->defaultSink_ =
              info != nullptr && info->default_sink_name != nullptr ? info->default_sink_name : "";
          // pipewire-pulse's name for the default sink while there is none.
          if (meter->defaultSink_ == "@DEFAULT_SINK@") meter->defaultSink_.clear();
          meter->serverKnown_ = true;
          meter->asking_ = false;
        },
        this));
  }

  void release(pa_operation* operation) const {
    if (operation != nullptr) pulse_->operationUnref(operation);
  }

  // The request leaves before the worker pauses.
  void setCorked(bool corked) {
    release(pulse_->streamCork(stream_.get(), corked ? 1 : 0, nullptr, nullptr));
    corked_ = corked;
    takeWhatCame();
  }

  bool streamFollowsDefault() const {
    return stream_ && !moved_ && streamSink_ == defaultSink_ &&
           PA_STREAM_IS_GOOD(pulse_->streamState(stream_.get()));
  }

  // A stream on the default sink's monitor, ready and with its first peak; or the failure's code.
  // The server may move it (when its sink goes away, even to a microphone): it then opens anew.
  float openStream() {
    stream_.reset();
    peakTime_ = {};
    moved_ = false;
    corked_ = false;
    streamSink_ = defaultSink_;
    const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, kPeaksPerSecond, 1};
    stream_.reset(pulse_->streamNew(context_.get(), "Peak meter", &format, nullptr));
    if (!stream_) return fail(kStreamFailed, "Failed to record the default audio output");
    pulse_->streamOnRead(
        stream_.get(),
        [](pa_stream* stream, size_t, void* meter) { static_cast<PulsePeakMeter*>(meter)->take(stream); },
        this);
    pulse_->streamOnMoved(
        stream_.get(), [](pa_stream*, void* meter) { static_cast<PulsePeakMeter*>(meter)->moved_ = true; },
        this);
    // One sample per fragment, so that each peak comes as soon as its window closes. Every channel
    // is kept, since the level is the loudest one's. The stream keeps the sink from suspending:
    // letting it (DONT_INHIBIT_AUTO_SUSPEND) also let peaks stall for seconds while sound played.
    pa_buffer_attr buffer{};
    buffer.maxlength = static_cast<uint32_t>(-1);
    buffer.fragsize = sizeof(float);
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_PEAK_DETECT | PA_STREAM_ADJUST_LATENCY |
                                                      PA_STREAM_FIX_CHANNELS);
    // The monitor by its name: pipewire-pulse takes @DEFAULT_MONITOR@ for the default source, which
    // stays on the first sink's monitor when another sink becomes the default.
    const std::string monitor = defaultSink_ + ".monitor";
    if (pulse_->streamConnectRecord(stream_.get(), monitor.c_str(), &buffer, flags) < 0)
      return streamFailure();
    const auto settled = [this] { return pulse_->streamState(stream_.get()) != PA_STREAM_CREATING; };
    if (!waitUntil(settled, kStreamMs) || pulse_->streamState(stream_.get()) != PA_STREAM_READY)
      return streamFailure();
    waitUntil([this] { return peakTime_ != Clock::time_point{}; }, kFirstPeakMs);
    return 0.0f;
  }

  float streamFailure() {
    const bool noSource = pulse_->contextErrno(context_.get()) == PA_ERR_NOENTITY;
    stream_.reset();
    return noSource ? fail(kNoOutput, "No default audio output")
                    : fail(kStreamFailed, "Failed to record the default audio output");
  }

  // Keeps the loudest sample of what came, one peak per channel and window.
  void take(pa_stream* stream) {
    const void* data = nullptr;
    size_t bytes = 0;
    while (pulse_->streamPeek(stream, &data, &bytes) == 0 && bytes > 0) {
      if (data != nullptr) {
        const auto* samples = static_cast<const float*>(data);
        float loudest = 0.0f;
        for (size_t i = 0; i < bytes / sizeof(float); ++i) loudest = std::max(loudest, std::fabs(samples[i]));
        peak_ = std::min(loudest, 1.0f);
        peakTime_ = Clock::now();
      }
      pulse_->streamDrop(stream);
    }
  }

  // Declared in the order they are made, so they go in reverse.
  const PulseLibrary* pulse_ = runtimeLibrary<PulseLibrary>();
  Loop loop_;
  Context context_;
  Stream stream_;
  bool serverKnown_ = false;
  bool asking_ = false;
  bool lastTickFailed_ = false;
  std::string defaultSink_;
  std::string streamSink_;
  bool moved_ = false;
  bool corked_ = false;
  float peak_ = 0.0f;
  Clock::time_point peakTime_{};
  Clock::time_point lastRead_{};
};

}  // namespace

std::unique_ptr<PeakMeter> openPeakMeter() { return std::make_unique<PulsePeakMeter>(); }

}  // namespace corvane
