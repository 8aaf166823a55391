#include "backends/x11/x11_server_sampling.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "capture/sampler.h"
#include "common/tick_phases.h"

namespace corvane {
namespace {

// RENDER's fixed-point numbers: 16 bits of fraction.
xcb_render_fixed_t toFixed(double value) { return static_cast<xcb_render_fixed_t>(value * 65536.0); }

// RENDER's fixed-point numbers end short of 32768. X screens are smaller than that, so a larger
// rate leaves one sample per side on the screen, the area's corner, which this rate finds too.
constexpr uint64_t kLargestTransformRate = 32767;

bool serverHasRender(xcb_connection_t* c) {
  const xcb_query_extension_reply_t* data = xcb_get_extension_data(c, &xcb_render_id);
  return data != nullptr && data->present != 0;
}

// RENDER's format for the root window's visual; 0 when there is none.
xcb_render_pictformat_t rootPictFormat(X11Exchange& exchange, X11Session& session) {
  auto formats = exchange.reply<xcb_render_query_pict_formats_reply_t>(
      xcb_render_query_pict_formats(session.connection()));
  if (!formats) return 0;
  const xcb_visualid_t visual = session.screen().root_visual;
  for (auto s = xcb_render_query_pict_formats_screens_iterator(formats.get()); s.rem > 0;
       xcb_render_pictscreen_next(&s)) {
    for (auto d = xcb_render_pictscreen_depths_iterator(s.data); d.rem > 0; xcb_render_pictdepth_next(&d)) {
      for (auto v = xcb_render_pictdepth_visuals_iterator(d.data); v.rem > 0;
           xcb_render_pictvisual_next(&v)) {
        if (v.data->visual == visual) return v.data->format;
      }
    }
  }
  return 0;
}

// How many samples of a side lie on the screen: those whose pixel, start + i x rate, is short of
// the screen's end.
uint32_t shownSamples(int32_t start, uint32_t samples, uint64_t samplingRate, int32_t screenEnd) {
  if (start >= screenEnd) return 0;
  const uint64_t reach = (static_cast<uint64_t>(screenEnd - start) + samplingRate - 1) / samplingRate;
  return static_cast<uint32_t>(std::min<uint64_t>(samples, reach));
}

}  // namespace

bool serverSamplingWanted(uint64_t samplingRate) {
  const char* forced = std::getenv("CORVANE_X11_SAMPLING");
  if (forced != nullptr && std::strcmp(forced, "client") == 0) return false;
  if (forced != nullptr && std::strcmp(forced, "server") == 0) return true;
  return samplingRate >= kServerSamplingFrom;
}

std::unique_ptr<ServerSampler> ServerSampler::open(const std::shared_ptr<X11Session>& session, int32_t left,
                                                   int32_t top, int32_t width, int32_t height,
                                                   uint64_t samplingRate, SegmentShelf& shelf) {
  // The root window has no pixels left of or above its origin.
  if (left < 0 || top < 0 || !serverHasRender(session->connection())) return nullptr;
  std::unique_ptr<ServerSampler> sampler(new ServerSampler(session));
  const xcb_screen_t& screen = session->screen();
  const uint64_t rows = (static_cast<uint64_t>(height) + samplingRate - 1) / samplingRate;
  sampler->columns_ = static_cast<uint32_t>((static_cast<uint64_t>(width) + samplingRate - 1) / samplingRate);
  sampler->shownColumns_ = shownSamples(left, sampler->columns_, samplingRate, screen.width_in_pixels);
  sampler->shownRows_ = shownSamples(top, static_cast<uint32_t>(rows), samplingRate, screen.height_in_pixels);
  // Wholly off the screen: nothing to read, every frame is black.
  if (sampler->shownColumns_ == 0 || sampler->shownRows_ == 0) return sampler;
  if (!sampler->create(left, top, samplingRate)) return nullptr;
  if (serverHasShm(session->connection())) {
    sampler->segment_ = shelf.segmentFor(session, size_t{sampler->shownColumns_} * sampler->shownRows_ * 4);
  }
  return sampler;
}

bool ServerSampler::create(int32_t left, int32_t top, uint64_t samplingRate) {
  xcb_connection_t* c = session_->connection();
  X11Exchange exchange(*session_);
  auto version = exchange.reply<xcb_render_query_version_reply_t>(xcb_render_query_version(c, 0, 11));
  // Transforms and filters came with RENDER 0.6.
  if (!version || (version->major_version == 0 && version->minor_version < 6)) return false;
  const xcb_render_pictformat_t format = rootPictFormat(exchange, *session_);
  if (format == 0) return false;

  // A frame pixel's centre, c + 0.5, lands on the centre of the area's pixel c x rate, which is
  // its block's top-left pixel: x' = rate x + (left + 0.5 - rate / 2), and likewise for y.
  const double rate = static_cast<double>(std::min(samplingRate, kLargestTransformRate));
  const xcb_render_transform_t transform{
      toFixed(rate), 0, toFixed(left + 0.5 - rate / 2), 0, toFixed(rate), toFixed(top + 0.5 - rate / 2), 0, 0,
      toFixed(1)};
  static const char kNearest[] = "nearest";
  const uint32_t includeInferiors = XCB_SUBWINDOW_MODE_INCLUDE_INFERIORS;

  const xcb_render_picture_t source = xcb_generate_id(c);
  const xcb_pixmap_t pixmap = xcb_generate_id(c);
  const xcb_render_picture_t target = xcb_generate_id(c);
  const xcb_void_cookie_t requests[] = {
      xcb_render_create_picture_checked(c, source, session_->root(), format, XCB_RENDER_CP_SUBWINDOW_MODE,
                                        &includeInferiors),
      xcb_render_set_picture_transform_checked(c, source, transform),
      xcb_render_set_picture_filter_checked(c, source, sizeof kNearest - 1, kNearest, 0, nullptr),
      xcb_create_pixmap_checked(c, session_->screen().root_depth, pixmap, session_->root(),
                                static_cast<uint16_t>(shownColumns_), static_cast<uint16_t>(shownRows_)),
      xcb_render_create_picture_checked(c, target, pixmap, format, 0, nullptr),
  };
  // One round trip behind them answers for all of them: their errors are in once it is back.
  const bool answered =
      exchange.reply<xcb_get_input_focus_reply_t>(xcb_get_input_focus(c)) != nullptr && !exchange.failed();
  bool refused = false;
  for (const xcb_void_cookie_t& request : requests) {
    if (answered) {
      refused |= XcbReply<xcb_generic_error_t>(xcb_request_check(c, request)) != nullptr;
    } else {
      xcb_discard_reply(c, request.sequence);
    }
  }
  // Freed with the sampler, whatever of them the server made.
  source_ = source;
  pixmap_ = pixmap;
  target_ = target;
  return answered && !refused;
}

ServerSampler::~ServerSampler() {
  if (source_ == 0) return;
  xcb_connection_t* c = session_->connection();
  xcb_render_free_picture(c, target_);
  xcb_free_pixmap(c, pixmap_);
  xcb_render_free_picture(c, source_);
  xcb_flush(c);
}

ServerSampler::Outcome ServerSampler::sample(uint8_t* out) {
  if (shownColumns_ == 0 || shownRows_ == 0) return Outcome::Sampled;
  const uint8_t* pixels = nullptr;
  XcbReply<xcb_shm_get_image_reply_t> shared;
  XcbReply<xcb_get_image_reply_t> plain;
  {
    PhaseTimer timer(TickPhase::Grab);
    X11Exchange exchange(*session_);
    if (exchange.failed()) return Outcome::Unanswered;
    xcb_connection_t* c = session_->connection();
    const auto width = static_cast<uint16_t>(shownColumns_);
    const auto height = static_cast<uint16_t>(shownRows_);
    const xcb_void_cookie_t composite = xcb_render_composite_checked(
        c, XCB_RENDER_PICT_OP_SRC, source_, XCB_NONE, target_, 0, 0, 0, 0, 0, 0, width, height);
    XcbReply<xcb_generic_error_t> error;
    if (segment_ != nullptr) {
      shared = exchange.reply<xcb_shm_get_image_reply_t>(
          xcb_shm_get_image(c, pixmap_, 0, 0, width, height, ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, segment_->id(),
                            0),
          &error);
      if (shared) pixels = segment_->data();
    } else {
      plain = exchange.reply<xcb_get_image_reply_t>(
          xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap_, 0, 0, width, height, ~0u), &error);
      if (plain &&
          static_cast<size_t>(xcb_get_image_data_length(plain.get())) >= size_t{width} * height * 4) {
        pixels = xcb_get_image_data(plain.get());
      }
    }
    if (exchange.failed()) {
      xcb_discard_reply(c, composite.sequence);
      return Outcome::Unanswered;
    }
    // Answered already, since the read-out behind it was: no round trip.
    XcbReply<xcb_generic_error_t> refusal(xcb_request_check(c, composite));
    if (refusal != nullptr || error != nullptr || (plain && pixels == nullptr)) return Outcome::Refused;
    if (pixels == nullptr) return Outcome::Unanswered;
  }
  PhaseTimer timer(TickPhase::Sample);
  // The pixmap's rows are 32-bit pixels with no padding: the sampler at rate 1 reorders them.
  if (shownColumns_ == columns_) {
    sampleFrame(pixels, static_cast<int32_t>(shownColumns_), static_cast<int32_t>(shownRows_), 1, out);
  } else {
    for (uint32_t row = 0; row < shownRows_; ++row) {
      sampleFrame(pixels + size_t{row} * shownColumns_ * 4, static_cast<int32_t>(shownColumns_), 1, 1,
                  out + size_t{row} * columns_ * 3);
    }
  }
  return Outcome::Sampled;
}

}  // namespace corvane
