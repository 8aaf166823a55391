// Display grabs on X11: the named monitor's rectangle of the root window, sampled by the server
// where it can and the rate makes that cheaper, else read whole into a shared memory segment with
// MIT-SHM where the server offers it, with a plain GetImage otherwise.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <new>
#include <numeric>
#include <string>
#include <vector>

#include "backends/x11/x11_backend.h"
#include "backends/x11/x11_monitors.h"
#include "backends/x11/x11_server_sampling.h"
#include "backends/x11/x11_session.h"
#include "backends/x11/x11_shm.h"
#include "capture/frame_copy.h"
#include "capture/sampler.h"
#include "common/tick_phases.h"

namespace corvane {
namespace {

// The ZPixmap format of the root window's depth and visual.
PixelFormat rootFormat(const X11Session& session) {
  PixelFormat format;
  const xcb_setup_t* setup = xcb_get_setup(session.connection());
  const xcb_screen_t& screen = session.screen();
  format.mostSignificantFirst = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
  for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem > 0; xcb_format_next(&it)) {
    if (it.data->depth == screen.root_depth) format.bitsPerPixel = it.data->bits_per_pixel;
  }
  for (auto depths = xcb_screen_allowed_depths_iterator(&screen); depths.rem > 0; xcb_depth_next(&depths)) {
    for (auto v = xcb_depth_visuals_iterator(depths.data); v.rem > 0; xcb_visualtype_next(&v)) {
      if (v.data->visual_id == screen.root_visual) {
        format.redMask = v.data->red_mask;
        format.greenMask = v.data->green_mask;
        format.blueMask = v.data->blue_mask;
      }
    }
  }
  return format;
}

// Bytes per row of a ZPixmap image, rows padded to the server's scanline unit.
size_t rowBytes(const X11Session& session, int bitsPerPixel, int32_t width) {
  int pad = 32;
  const xcb_setup_t* setup = xcb_get_setup(session.connection());
  for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem > 0; xcb_format_next(&it)) {
    if (it.data->bits_per_pixel == bitsPerPixel) pad = it.data->scanline_pad;
  }
  const size_t bits = static_cast<size_t>(width) * bitsPerPixel;
  return (bits + pad - 1) / pad * pad / 8;
}

// The reads of one monitor on one session.
class MonitorReader {
 public:
  MonitorReader(std::shared_ptr<X11Session> session, const MonitorRecord& monitor, int32_t width,
                int32_t height, uint64_t samplingRate, std::shared_ptr<SegmentShelf> shelf)
      : session_(std::move(session)),
        shelf_(std::move(shelf)),
        format_(rootFormat(*session_)),
        width_(width),
        height_(height),
        left_(monitor.x),
        top_(monitor.y) {
    const xcb_screen_t& screen = session_->screen();
    area_ =
        clipToScreen({monitor.x, monitor.y, width, height}, screen.width_in_pixels, screen.height_in_pixels);
    if (!area_.empty() && isBgrx(format_) && serverSamplingWanted(samplingRate)) {
      sampler_ = ServerSampler::open(session_, left_, top_, width_, height_, samplingRate, *shelf_);
    }
    if (sampler_ == nullptr) openWholeReads();
  }

  // False when this reader reads whole pictures, and grab() is to be called instead; else seen
  // tells whether the server sampled (out is left as it was when not).
  bool grabSampled(uint8_t* out, bool& seen) {
    if (sampler_ == nullptr) return false;
    const ServerSampler::Outcome outcome = sampler_->sample(out);
    seen = outcome == ServerSampler::Outcome::Sampled;
    if (outcome != ServerSampler::Outcome::Refused) return true;
    // Whole reads from now on, as on a server without RENDER.
    sampler_.reset();
    openWholeReads();
    return false;
  }

  // The pixels; null when the read failed, or when there is no memory for them (hasMemory()).
  const uint8_t* grab() {
    if (segment_ != nullptr && servesFrameDirectly()) return readIntoSegment() ? segment_->data() : nullptr;
    if (frame_ == nullptr) return nullptr;
    // Left of and below the screen's edge stays zero.
    if (!area_.empty() && !readIntoFrame()) return nullptr;
    return frame_.get();
  }

  bool hasMemory() const { return frame_ != nullptr || (segment_ != nullptr && servesFrameDirectly()); }

 private:
  void openWholeReads() {
    stride_ = rowBytes(*session_, format_.bitsPerPixel, area_.width);
    if (!area_.empty() && serverHasShm(session_->connection())) {
      segment_ = shelf_->segmentFor(session_, stride_ * static_cast<size_t>(area_.height));
    }
    // The frame is only needed when the segment cannot be handed out as it is.
    if (segment_ == nullptr || !servesFrameDirectly()) {
      frame_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(width_) * height_ * 4]());
    }
  }

  bool servesFrameDirectly() const {
    return isBgrx(format_) && area_.width == width_ && area_.height == height_ &&
           stride_ == static_cast<size_t>(width_) * 4;
  }

  bool readIntoSegment() {
    PhaseTimer timer(TickPhase::Grab);
    X11Exchange exchange(*session_);
    if (exchange.failed()) return false;
    return exchange.reply<xcb_shm_get_image_reply_t>(xcb_shm_get_image(
               session_->connection(), session_->root(), static_cast<int16_t>(area_.x),
               static_cast<int16_t>(area_.y), static_cast<uint16_t>(area_.width),
               static_cast<uint16_t>(area_.height), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, segment_->id(), 0)) !=
           nullptr;
  }

  bool readIntoFrame() {
    // Where the part on screen starts in the frame: right of or below the monitor's corner when
    // that corner lies off the screen.
    const int32_t left = area_.x - left_;
    const int32_t top = area_.y - top_;
    if (segment_ != nullptr) {
      if (!readIntoSegment()) return false;
      PhaseTimer timer(TickPhase::PixelBuffer);
      copyIntoFrame(segment_->data(), stride_, format_, area_.width, area_.height, frame_.get(), width_, left,
                    top);
      return true;
    }
    PhaseTimer timer(TickPhase::Grab);
    X11Exchange exchange(*session_);
    if (exchange.failed()) return false;
    auto reply = exchange.reply<xcb_get_image_reply_t>(
        xcb_get_image(session_->connection(), XCB_IMAGE_FORMAT_Z_PIXMAP, session_->root(),
                      static_cast<int16_t>(area_.x), static_cast<int16_t>(area_.y),
                      static_cast<uint16_t>(area_.width), static_cast<uint16_t>(area_.height), ~0u));
    if (!reply) return false;
    const size_t expected = stride_ * static_cast<size_t>(area_.height);
    if (static_cast<size_t>(xcb_get_image_data_length(reply.get())) < expected) return false;
    copyIntoFrame(xcb_get_image_data(reply.get()), stride_, format_, area_.width, area_.height, frame_.get(),
                  width_, left, top);
    return true;
  }

  std::shared_ptr<X11Session> session_;
  std::shared_ptr<SegmentShelf> shelf_;
  PixelFormat format_;
  int32_t width_;
  int32_t height_;
  int32_t left_;  // the monitor's corner on the root window
  int32_t top_;
  PixelArea area_;  // what of the wanted rectangle lies on the screen
  size_t stride_ = 0;
  std::unique_ptr<ServerSampler> sampler_;
  std::shared_ptr<SharedSegment> segment_;
  std::unique_ptr<uint8_t[]> frame_;
};

// A monitor's grabs, opened again on a new session when the server went away: a capture sees the
// picture again once a server is back, with the monitors it has then.
class X11Grabber final : public DisplayGrabber {
 public:
  X11Grabber(std::string deviceName, int32_t width, int32_t height, uint64_t samplingRate,
             std::shared_ptr<SegmentShelf> shelf)
      : deviceName_(std::move(deviceName)),
        width_(width),
        height_(height),
        samplingRate_(samplingRate),
        shelf_(std::move(shelf)) {
    const char* display = std::getenv("DISPLAY");
    display_ = display != nullptr ? display : "";
    open();
  }

  // The server's samples where it can sample, else a whole read sampled here; the frame stays
  // zero-filled while there is no monitor of that name to read or a read failed.
  void grab(uint8_t* frame) override {
    reopenWhenLost();
    if (reader_ == nullptr) {
      blindness_ = unopened_;
      return;
    }
    bool seen = false;
    if (reader_->grabSampled(frame, seen)) {
      blindness_ = seen ? std::string() : trouble();
      return;
    }
    const uint8_t* pixels = reader_->grab();
    if (pixels == nullptr) {
      blindness_ = reader_->hasMemory() ? trouble() : "no memory for the pixels";
      return;
    }
    blindness_.clear();
    PhaseTimer timer(TickPhase::Sample);
    sampleFrame(pixels, width_, height_, samplingRate_, frame);
  }

  std::string blindness() const override { return blindness_; }
  const char* way() const override { return "X11"; }

 private:
  using Clock = std::chrono::steady_clock;
  // Each try costs a connection attempt: not more often while no server is there.
  static constexpr auto kReopenPause = std::chrono::milliseconds(250);

  void reopenWhenLost() {
    if ((session_ == nullptr || !session_->alive()) && Clock::now() - openedAt_ >= kReopenPause) open();
  }

  void open() {
    reader_.reset();
    int error = 0;
    session_ = X11Session::shared(&error);
    openedAt_ = Clock::now();
    if (session_ == nullptr) {
      if (display_.empty()) {
        unopened_ = "DISPLAY is not set";
      } else if (hadSession_) {
        unopened_ = "the X server on " + display_ + " went away";
      } else if (error == XCB_CONN_ERROR) {
        unopened_ = "no X server answers on " + display_;
      } else {
        unopened_ = "no X display " + display_ + " (XCB error " + std::to_string(error) + ")";
      }
      return;
    }
    hadSession_ = true;
    const std::vector<MonitorRecord> monitors = readMonitors(*session_);
    // None at all: the server did not answer, so it is asked again later. A name missing from a
    // list that was read is missing for this session's whole life.
    if (monitors.empty()) {
      unopened_ = silence();
      session_.reset();
      return;
    }
    const MonitorRecord* monitor = findMonitor(monitors, deviceName_);
    if (monitor != nullptr) {
      reader_ = std::make_unique<MonitorReader>(session_, *monitor, width_, height_, samplingRate_, shelf_);
    } else {
      unopened_ = "the X server on " + display_ + " has no monitor of that name";
    }
    // A server that stopped answering meanwhile may have left the reader without its segment.
    if (!session_->answering()) {
      unopened_ = silence();
      reader_.reset();
      session_.reset();
    }
  }

  std::string silence() const { return "the X server on " + display_ + " did not answer within a second"; }

  // Why a read of the session failed.
  std::string trouble() const {
    if (session_->error() != 0) return "the X server on " + display_ + " went away";
    if (!session_->answering()) return silence();
    return "the X server refused to read out the screen";
  }

  std::string deviceName_;
  std::string display_;  // DISPLAY, for the lines
  int32_t width_;
  int32_t height_;
  uint64_t samplingRate_;
  std::shared_ptr<SegmentShelf> shelf_;
  std::shared_ptr<X11Session> session_;
  std::unique_ptr<MonitorReader> reader_;
  Clock::time_point openedAt_;
  bool hadSession_ = false;
  std::string unopened_;   // why the last open found nothing to read
  std::string blindness_;  // of the last grab
};

}  // namespace

std::unique_ptr<DisplayGrabber> openX11Grabber(const DisplayRequest& display, uint64_t samplingRate) {
  return std::make_unique<X11Grabber>(display.deviceName, display.width, display.height, samplingRate,
                                      std::make_shared<SegmentShelf>());
}

std::vector<std::unique_ptr<DisplayGrabber>> openX11GrabbersInTurn(
    const std::vector<DisplayRequest>& displays, uint64_t samplingRate) {
  // Largest first, so that the first segment serves the others.
  std::vector<size_t> order(displays.size());
  std::iota(order.begin(), order.end(), 0);
  const auto pixels = [&](size_t i) { return static_cast<int64_t>(displays[i].width) * displays[i].height; };
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return pixels(a) > pixels(b); });
  const auto shelf = std::make_shared<SegmentShelf>();
  std::vector<std::unique_ptr<DisplayGrabber>> grabbers(displays.size());
  for (const size_t i : order) {
    grabbers[i] = std::make_unique<X11Grabber>(displays[i].deviceName, displays[i].width, displays[i].height,
                                               samplingRate, shelf);
  }
  return grabbers;
}

}  // namespace corvane
