// Sampling done by the X server: RENDER scales the monitor's area down onto a pixmap of the
// sample grid's size, taking the nearest pixel, which is the top-left pixel of each block, and
// only that pixmap is read out. No picture of the whole area exists on either side.
#pragma once

#include <xcb/render.h>
#include <xcb/xproto.h>

#include <cstdint>
#include <memory>

#include "backends/x11/x11_session.h"
#include "backends/x11/x11_shm.h"

namespace corvane {

// From this rate on, the server's sampling costs less than reading the whole area and sampling
// it here: at rate 2 about 0.7 times, at rate 1 over twice as much (measured on Xvfb by the X11
// benchmark).
constexpr uint64_t kServerSamplingFrom = 2;

// Which way a capture at this rate samples, CORVANE_X11_SAMPLING forcing either way ("client":
// whole pictures, "server": the server's sampling).
bool serverSamplingWanted(uint64_t samplingRate);

class ServerSampler {
 public:
  enum class Outcome {
    Sampled,     // out holds the frame
    Unanswered,  // the server did not answer or went away: out is left as it was
    Refused,     // the server refused a request: this sampler is of no use
  };

  // For the width x height area whose top-left corner is (left, top) on the root window, which
  // must be 32-bit blue-green-red-reserved. Null when the server has no RENDER transforms or
  // refuses the pictures.
  static std::unique_ptr<ServerSampler> open(const std::shared_ptr<X11Session>& session, int32_t left,
                                             int32_t top, int32_t width, int32_t height,
                                             uint64_t samplingRate, SegmentShelf& shelf);
  ~ServerSampler();
  ServerSampler(const ServerSampler&) = delete;
  ServerSampler& operator=(const ServerSampler&) = delete;

  // Writes the samples that lie on the screen into out, which holds the whole zero-filled frame:
  // the ones past the screen's edge stay black.
  Outcome sample(uint8_t* out);

 private:
  explicit ServerSampler(std::shared_ptr<X11Session> session) : session_(std::move(session)) {}
  bool create(int32_t left, int32_t top, uint64_t samplingRate);

  std::shared_ptr<X11Session> session_;
  uint32_t columns_ = 0;       // of the frame
  uint32_t shownColumns_ = 0;  // of them, those whose pixel lies on the screen
  uint32_t shownRows_ = 0;
  xcb_render_picture_t source_ = 0;
  xcb_pixmap_t pixmap_ = 0;
  xcb_render_picture_t target_ = 0;
  std::shared_ptr<SharedSegment> segment_;
};

}  // namespace corvane
