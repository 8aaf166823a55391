// A PipeWire video source of the test picture, for the portal capture's tests: what a compositor
// behind the desktop portal would share. Rows are padded past the picture, so a reader that
// ignores the stride shows it.
//   pipewire_picture WIDTH HEIGHT FORMAT RATE READY_FILE
// FORMAT is BGRx, BGRA, RGBx, RGBA or RGB (24-bit, which the capture does not read). READY_FILE
// gets the node's id once the node exists.
#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "pictures.h"

namespace {

constexpr int kRowPadding = 64;

struct Source {
  pw_main_loop* loop = nullptr;
  pw_stream* stream = nullptr;
  spa_hook listener{};
  int width = 0;
  int height = 0;
  spa_video_format format = SPA_VIDEO_FORMAT_BGRx;
  int bytesPerPixel = 4;
  std::vector<unsigned char> rows;  // the picture in the stream's format and stride
  std::string ready;
  bool told = false;

  int stride() const { return width * bytesPerPixel + kRowPadding; }
};

// The picture's blue, green, red, reserved pixels laid out as the format says.
void layOut(Source& s) {
  std::vector<unsigned char> bgrx;
  pictures::drawTestPicture(s.width, s.height, bgrx);
  s.rows.assign(static_cast<size_t>(s.stride()) * s.height, 0xEE);
  const bool redFirst = s.format == SPA_VIDEO_FORMAT_RGBx || s.format == SPA_VIDEO_FORMAT_RGBA ||
                        s.format == SPA_VIDEO_FORMAT_RGB;
  const bool alpha = s.format == SPA_VIDEO_FORMAT_BGRA || s.format == SPA_VIDEO_FORMAT_RGBA;
  for (int y = 0; y < s.height; ++y) {
    for (int x = 0; x < s.width; ++x) {
      const unsigned char* in = &bgrx[(static_cast<size_t>(y) * s.width + x) * 4];
      unsigned char* out =
          &s.rows[static_cast<size_t>(y) * s.stride() + static_cast<size_t>(x) * s.bytesPerPixel];
      out[0] = redFirst ? in[2] : in[0];
      out[1] = in[1];
      out[2] = redFirst ? in[0] : in[2];
      if (s.bytesPerPixel == 4) out[3] = alpha ? 0xff : 0x5a;  // a reserved byte that is not zero
    }
  }
}

void onParamChanged(void* data, uint32_t id, const spa_pod* param) {
  auto& s = *static_cast<Source*>(data);
  if (id != SPA_PARAM_Format || param == nullptr) return;
  uint8_t space[256];
  spa_pod_builder builder = SPA_POD_BUILDER_INIT(space, sizeof(space));
  const spa_pod* params[] = {static_cast<const spa_pod*>(spa_pod_builder_add_object(
      &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
      SPA_POD_CHOICE_RANGE_Int(4, 2, 8), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1), SPA_PARAM_BUFFERS_size,
      SPA_POD_Int(s.stride() * s.height), SPA_PARAM_BUFFERS_stride, SPA_POD_Int(s.stride()),
      SPA_PARAM_BUFFERS_dataType, SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))))};
  pw_stream_update_params(s.stream, params, 1);
}

void onStateChanged(void* data, pw_stream_state, pw_stream_state state, const char*) {
  auto& s = *static_cast<Source*>(data);
  if (state != PW_STREAM_STATE_PAUSED || s.told) return;
  s.told = true;
  const std::string partial = s.ready + ".partial";
  if (FILE* file = std::fopen(partial.c_str(), "w")) {
    std::fprintf(file, "%u\n", pw_stream_get_node_id(s.stream));
    std::fclose(file);
    std::rename(partial.c_str(), s.ready.c_str());
  }
}

void onTimeout(void* data, uint64_t) {
  auto& s = *static_cast<Source*>(data);
  pw_buffer* buffer = pw_stream_dequeue_buffer(s.stream);
  if (buffer == nullptr) return;
  spa_data& plane = buffer->buffer->datas[0];
  if (plane.data != nullptr && plane.maxsize >= s.rows.size()) {
    std::memcpy(plane.data, s.rows.data(), s.rows.size());
    plane.chunk->offset = 0;
    plane.chunk->size = static_cast<uint32_t>(s.rows.size());
    plane.chunk->stride = s.stride();
  }
  pw_stream_queue_buffer(s.stream, buffer);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: %s WIDTH HEIGHT FORMAT RATE READY_FILE\n", argv[0]);
    return 2;
  }
  pw_init(&argc, &argv);
  Source s;
  s.width = std::atoi(argv[1]);
  s.height = std::atoi(argv[2]);
  const std::string format = argv[3];
  const int rate = std::atoi(argv[4]);
  s.ready = argv[5];
  if (format == "BGRA") s.format = SPA_VIDEO_FORMAT_BGRA;
  if (format == "RGBx") s.format = SPA_VIDEO_FORMAT_RGBx;
  if (format == "RGBA") s.format = SPA_VIDEO_FORMAT_RGBA;
  if (format == "RGB") {
    s.format = SPA_VIDEO_FORMAT_RGB;
    s.bytesPerPixel = 3;
  }
  layOut(s);

  s.loop = pw_main_loop_new(nullptr);
  pw_loop* loop = pw_main_loop_get_loop(s.loop);
  s.stream = pw_stream_new_simple(
      loop, "corvane-picture",
      pw_properties_new(PW_KEY_MEDIA_CLASS, "Video/Source", PW_KEY_NODE_NAME, "corvane-picture", nullptr),
      [] {
        static pw_stream_events events{};
        events.version = PW_VERSION_STREAM_EVENTS;
        events.param_changed = onParamChanged;
        events.state_changed = onStateChanged;
        return &events;
      }(),
      &s);
  const spa_rectangle size = SPA_RECTANGLE(static_cast<uint32_t>(s.width), static_cast<uint32_t>(s.height));
  const spa_fraction framerate = SPA_FRACTION(static_cast<uint32_t>(rate), 1);
  uint8_t space[512];
  spa_pod_builder builder = SPA_POD_BUILDER_INIT(space, sizeof(space));
  const spa_pod* params[] = {static_cast<const spa_pod*>(spa_pod_builder_add_object(
      &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
      SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
      SPA_FORMAT_VIDEO_format, SPA_POD_Id(s.format), SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size),
      SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&framerate)))};
  pw_stream_connect(s.stream, SPA_DIRECTION_OUTPUT, PW_ID_ANY,
                    static_cast<pw_stream_flags>(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS), params,
                    1);
  spa_source* timer = pw_loop_add_timer(loop, onTimeout, &s);
  timespec interval{0, 1000000000L / rate};
  pw_loop_update_timer(loop, timer, &interval, &interval, false);
  pw_main_loop_run(s.loop);
  pw_stream_destroy(s.stream);
  pw_main_loop_destroy(s.loop);
  pw_deinit();
  return 0;
}
