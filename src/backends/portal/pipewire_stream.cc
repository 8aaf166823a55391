#include "backends/portal/pipewire_stream.h"

#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <string>

#include "backends/portal/portal_choice.h"
#include "capture/frame_copy.h"
#include "common/tick_phases.h"

namespace corvane {

namespace {

std::optional<StreamPixels> streamPixelsOf(uint32_t format) {
  switch (format) {
    case SPA_VIDEO_FORMAT_BGRx:
      return StreamPixels::Bgrx;
    case SPA_VIDEO_FORMAT_BGRA:
      return StreamPixels::Bgra;
    case SPA_VIDEO_FORMAT_RGBx:
      return StreamPixels::Rgbx;
    case SPA_VIDEO_FORMAT_RGBA:
      return StreamPixels::Rgba;
    default:
      return std::nullopt;
  }
}

// The formats we read, our own order first; any size and rate.
const spa_pod* videoFormats(spa_pod_builder& builder) {
  const spa_rectangle defaultSize = SPA_RECTANGLE(1920, 1080);
  const spa_rectangle minSize = SPA_RECTANGLE(1, 1);
  const spa_rectangle maxSize = SPA_RECTANGLE(16384, 16384);
  const spa_fraction defaultRate = SPA_FRACTION(30, 1);
  const spa_fraction minRate = SPA_FRACTION(0, 1);
  const spa_fraction maxRate = SPA_FRACTION(1000, 1);
  return static_cast<const spa_pod*>(spa_pod_builder_add_object(
      &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
      SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
      SPA_FORMAT_VIDEO_format,
      SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA,
                             SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA),
      SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&defaultSize, &minSize, &maxSize),
      SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&defaultRate, &minRate, &maxRate)));
}

// Memory we can read directly: no DMA-BUF, which would need a GPU import.
const spa_pod* sharedMemoryBuffers(spa_pod_builder& builder) {
  return static_cast<const spa_pod*>(spa_pod_builder_add_object(
      &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_dataType,
      SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd))));
}

}  // namespace

struct PipeWireStream::State {
  const PipeWireLibrary& pw;
  pw_thread_loop* loop = nullptr;
  pw_context* context = nullptr;
  pw_core* core = nullptr;
  pw_stream* stream = nullptr;
  spa_hook listener{};
  // On PipeWire's thread, or under its lock:
  pw_buffer* held = nullptr;
  std::optional<StreamPixels> pixels;
  int32_t width = 0;
  int32_t height = 0;
  std::string failure;  // why the stream gives no frame, for good

  explicit State(const PipeWireLibrary& library) : pw(library) {}

  // Given up in reverse of their making; the loop is stopped first, so no callback runs meanwhile.
  ~State() {
    if (loop != nullptr) pw.loopStop(loop);
    if (stream != nullptr) pw.streamDestroy(stream);
    if (core != nullptr) pw.disconnect(core);
    if (context != nullptr) pw.contextDestroy(context);
    if (loop != nullptr) pw.loopDestroy(loop);
  }

  void fail(const std::string& why) {
    if (failure.empty()) failure = why;
  }

  static void onStateChanged(void* data, pw_stream_state, pw_stream_state state, const char* error) {
    auto& self = *static_cast<State*>(data);
    if (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED) {
      self.held = nullptr;  // the buffers go with the stream
      self.fail(std::string("the PipeWire stream ended (") +
                (error != nullptr ? error : self.pw.stateName(state)) + ")");
    }
  }

  static void onParamChanged(void* data, uint32_t id, const spa_pod* param) {
    auto& self = *static_cast<State*>(data);
    if (id != SPA_PARAM_Format || param == nullptr) return;
    spa_video_info_raw info{};
    if (spa_format_video_raw_parse(param, &info) < 0) return;
    self.pixels = streamPixelsOf(info.format);
    self.width = static_cast<int32_t>(info.size.width);
    self.height = static_cast<int32_t>(info.size.height);
    if (!self.pixels) {
      // Offered only formats we did not ask for: zero-filled frames rather than wrong colours.
      self.fail("the PipeWire stream's video format " + std::to_string(info.format) + " is not one we read");
      return;
    }
    uint8_t space[256];
    spa_pod_builder builder{};
    spa_pod_builder_init(&builder, space, sizeof(space));
    const spa_pod* params[] = {sharedMemoryBuffers(builder)};
    self.pw.updateParams(self.stream, params, 1);
  }

  static void onRemoveBuffer(void* data, pw_buffer* buffer) {
    auto& self = *static_cast<State*>(data);
    if (self.held == buffer) self.held = nullptr;
  }

  // Keeps the newest frame with pixels; every older one goes back at once.
  static void onProcess(void* data) {
    auto& self = *static_cast<State*>(data);
    while (pw_buffer* buffer = self.pw.dequeue(self.stream)) {
      const spa_data& plane = buffer->buffer->datas[0];
      // Cursor-only and damage-free updates carry no pixels.
      if (plane.data == nullptr || plane.chunk == nullptr || plane.chunk->size == 0) {
        self.pw.queue(self.stream, buffer);
        continue;
      }
      if (self.held != nullptr) self.pw.queue(self.stream, self.held);
      self.held = buffer;
    }
  }
};

namespace {

// Holds the thread loop's lock, so that its thread's callbacks wait meanwhile.
class LoopLock {
 public:
  explicit LoopLock(const PipeWireStream::State& state) : pw_(state.pw), loop_(state.loop) {
    pw_.lock(loop_);
  }
  ~LoopLock() { pw_.unlock(loop_); }
  LoopLock(const LoopLock&) = delete;
  LoopLock& operator=(const LoopLock&) = delete;

 private:
  const PipeWireLibrary& pw_;
  pw_thread_loop* loop_;
};

constexpr pw_stream_events kStreamEvents = [] {
  pw_stream_events events{};
  events.version = PW_VERSION_STREAM_EVENTS;
  events.state_changed = PipeWireStream::State::onStateChanged;
  events.param_changed = PipeWireStream::State::onParamChanged;
  events.remove_buffer = PipeWireStream::State::onRemoveBuffer;
  events.process = PipeWireStream::State::onProcess;
  return events;
}();

}  // namespace

std::unique_ptr<PipeWireStream> PipeWireStream::open(const PipeWireLibrary& pw, UniqueFd remote,
                                                     uint32_t node, std::string& why) {
  auto state = std::make_unique<State>(pw);
  state->loop = pw.loopNew("corvane-capture", nullptr);
  if (state->loop == nullptr) {
    why = "no PipeWire thread loop";
    return nullptr;
  }
  state->context = pw.contextNew(pw.loopGet(state->loop), nullptr, 0);
  if (state->context == nullptr) {
    why = "no PipeWire context";
    return nullptr;
  }
  // Before the loop runs, so nothing else touches these meanwhile. The core owns the remote from
  // here on, connected or not.
  state->core = pw.connectFd(state->context, remote.release(), nullptr, 0);
  if (state->core == nullptr) {
    why = "the portal's PipeWire remote did not connect";
    return nullptr;
  }
  state->stream = pw.streamNew(state->core, "corvane capture",
                               pw.propertiesNew(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                                                PW_KEY_MEDIA_ROLE, "Screen", nullptr));
  if (state->stream == nullptr) {
    why = "no PipeWire stream";
    return nullptr;
  }
  pw.addListener(state->stream, &state->listener, &kStreamEvents, state.get());
  uint8_t space[512];
  spa_pod_builder builder{};
  spa_pod_builder_init(&builder, space, sizeof(space));
  const spa_pod* params[] = {videoFormats(builder)};
  const int connected = pw.streamConnect(
      state->stream, SPA_DIRECTION_INPUT, node,
      static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS), params, 1);
  if (connected < 0 || pw.loopStart(state->loop) < 0) {
    why = "the PipeWire stream of node " + std::to_string(node) + " did not start";
    return nullptr;
  }
  return std::unique_ptr<PipeWireStream>(new PipeWireStream(std::move(state)));
}

PipeWireStream::PipeWireStream(std::unique_ptr<State> state) : state_(std::move(state)) {}

PipeWireStream::~PipeWireStream() = default;

std::string PipeWireStream::describe() {
  State& s = *state_;
  const LoopLock lock(s);
  const char* error = nullptr;
  std::string text = std::string("its state: ") + s.pw.stateName(s.pw.state(s.stream, &error));
  if (error != nullptr) text += std::string(", ") + error;
  if (!s.pixels) text += "; no video format agreed, of BGRx, BGRA, RGBx, RGBA in shared memory";
  return text;
}

std::string PipeWireStream::failure() {
  State& s = *state_;
  const LoopLock lock(s);
  return s.failure;
}

PipeWireStream::Written PipeWireStream::copyNewest(uint8_t* frame, int32_t width, int32_t height) {
  State& s = *state_;
  PhaseTimer timer(TickPhase::Grab);
  const LoopLock lock(s);
  Written written;
  if (s.held != nullptr && s.pixels) {
    const spa_data& plane = s.held->buffer->datas[0];
    const size_t rowBytes = static_cast<size_t>(s.width) * 4;
    const size_t stride = plane.chunk->stride > 0 ? static_cast<size_t>(plane.chunk->stride) : rowBytes;
    const size_t offset = plane.chunk->offset % std::max<uint32_t>(plane.maxsize, 1);
    written.width = std::min(width, s.width);
    written.height = std::min(height, s.height);
    // A chunk shorter than the format says gives only its whole rows.
    const size_t available = std::min<size_t>(plane.chunk->size, plane.maxsize - offset);
    if (stride >= rowBytes && rowBytes > 0) {
      const size_t rows = available >= rowBytes ? (available - rowBytes) / stride + 1 : 0;
      written.height =
          std::min<int32_t>(written.height, static_cast<int32_t>(std::min<size_t>(rows, INT32_MAX)));
    } else {
      written.height = 0;
    }
    if (written.width > 0 && written.height > 0) {
      copyIntoFrame(static_cast<const uint8_t*>(plane.data) + offset, stride, pixelFormatOf(*s.pixels),
                    written.width, written.height, frame, width, 0, 0);
    }
  }
  return written;
}

}  // namespace corvane
