// Display grabs on X11: the named monitor's rectangle of the root window, read into a shared
// memory segment with MIT-SHM where the server offers it, with a plain GetImage otherwise.
#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>

#include <cstring>
#include <new>
#include <vector>

#include "capture/frame_copy.h"
#include "capture/grabber.h"
#include "common/tick_phases.h"
#include "common/x11_session.h"
#include "displays/x11_monitors.h"

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

// A System V shared memory segment that the X server has attached too. The segment is marked for
// removal at once, so it goes away with the process whatever happens.
class SharedSegment {
 public:
  SharedSegment(std::shared_ptr<X11Session> session, size_t size) : session_(std::move(session)) {
    const int id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (id < 0) return;
    void* address = shmat(id, nullptr, 0);
    if (address != reinterpret_cast<void*>(-1)) {
      xcb_connection_t* c = session_->connection();
      const xcb_shm_seg_t segment = xcb_generate_id(c);
      XcbReply<xcb_generic_error_t> error(xcb_request_check(c, xcb_shm_attach_checked(c, segment, id, 0)));
      if (error == nullptr) {
        segment_ = segment;
        data_ = static_cast<uint8_t*>(address);
      } else {
        shmdt(address);
      }
    }
    shmctl(id, IPC_RMID, nullptr);
  }
  ~SharedSegment() {
    if (data_ == nullptr) return;
    xcb_shm_detach(session_->connection(), segment_);
    xcb_flush(session_->connection());
    shmdt(data_);
  }
  SharedSegment(const SharedSegment&) = delete;
  SharedSegment& operator=(const SharedSegment&) = delete;

  bool attached() const { return data_ != nullptr; }
  xcb_shm_seg_t id() const { return segment_; }
  const uint8_t* data() const { return data_; }

 private:
  std::shared_ptr<X11Session> session_;
  xcb_shm_seg_t segment_ = 0;
  uint8_t* data_ = nullptr;
};

bool serverHasShm(xcb_connection_t* c) {
  const xcb_query_extension_reply_t* data = xcb_get_extension_data(c, &xcb_shm_id);
  return data != nullptr && data->present != 0;
}

class X11Grabber final : public DisplayGrabber {
 public:
  X11Grabber(std::shared_ptr<X11Session> session, const MonitorRecord& monitor, int32_t width, int32_t height)
      : session_(std::move(session)),
        format_(rootFormat(*session_)),
        width_(width),
        height_(height),
        left_(monitor.x),
        top_(monitor.y) {
    const xcb_screen_t& screen = session_->screen();
    area_ =
        clipToScreen({monitor.x, monitor.y, width, height}, screen.width_in_pixels, screen.height_in_pixels);
    stride_ = rowBytes(*session_, format_.bitsPerPixel, area_.width);
    if (!area_.empty() && serverHasShm(session_->connection())) {
      segment_ = std::make_unique<SharedSegment>(session_, stride_ * static_cast<size_t>(area_.height));
      if (!segment_->attached()) segment_.reset();
    }
    // The frame is only needed when the segment cannot be handed out as it is.
    if (segment_ == nullptr || !servesFrameDirectly()) {
      frame_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(width) * height * 4]());
    }
  }

  const uint8_t* grab() override {
    if (segment_ != nullptr && servesFrameDirectly()) {
      if (readIntoSegment()) return segment_->data();
      zeroed_.assign(static_cast<size_t>(width_) * height_ * 4, 0);
      return zeroed_.data();
    }
    if (frame_ == nullptr) return nullptr;
    if (!area_.empty()) {
      // Left of and below the screen's edge stays zero; a failed read zeroes the rest too.
      if (!readIntoFrame()) std::memset(frame_.get(), 0, static_cast<size_t>(width_) * height_ * 4);
    }
    return frame_.get();
  }

 private:
  bool servesFrameDirectly() const {
    return isBgrx(format_) && area_.width == width_ && area_.height == height_ &&
           stride_ == static_cast<size_t>(width_) * 4;
  }

  bool readIntoSegment() {
    PhaseTimer timer(TickPhase::Grab);
    xcb_connection_t* c = session_->connection();
    const auto cookie =
        xcb_shm_get_image(c, session_->root(), static_cast<int16_t>(area_.x), static_cast<int16_t>(area_.y),
                          static_cast<uint16_t>(area_.width), static_cast<uint16_t>(area_.height), ~0u,
                          XCB_IMAGE_FORMAT_Z_PIXMAP, segment_->id(), 0);
    XcbReply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(c, cookie, nullptr));
    return reply != nullptr;
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
    xcb_connection_t* c = session_->connection();
    const auto cookie =
        xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, session_->root(), static_cast<int16_t>(area_.x),
                      static_cast<int16_t>(area_.y), static_cast<uint16_t>(area_.width),
                      static_cast<uint16_t>(area_.height), ~0u);
    XcbReply<xcb_get_image_reply_t> reply(xcb_get_image_reply(c, cookie, nullptr));
    if (!reply) return false;
    const size_t expected = stride_ * static_cast<size_t>(area_.height);
    if (static_cast<size_t>(xcb_get_image_data_length(reply.get())) < expected) return false;
    copyIntoFrame(xcb_get_image_data(reply.get()), stride_, format_, area_.width, area_.height, frame_.get(),
                  width_, left, top);
    return true;
  }

  std::shared_ptr<X11Session> session_;
  PixelFormat format_;
  int32_t width_;
  int32_t height_;
  int32_t left_;  // the monitor's corner on the root window
  int32_t top_;
  PixelArea area_;  // what of the wanted rectangle lies on the screen
  size_t stride_ = 0;
  std::unique_ptr<SharedSegment> segment_;
  std::unique_ptr<uint8_t[]> frame_;
  std::vector<uint8_t> zeroed_;
};

// A display that cannot be found: nothing to read.
class NoDisplayGrabber final : public DisplayGrabber {
 public:
  const uint8_t* grab() override { return nullptr; }
};

}  // namespace

std::unique_ptr<DisplayGrabber> openDisplayGrabber(const std::string& deviceName, int32_t width,
                                                   int32_t height) {
  std::shared_ptr<X11Session> session = X11Session::shared();
  if (session == nullptr) return std::make_unique<NoDisplayGrabber>();
  const std::vector<MonitorRecord> monitors = readMonitors(*session);
  const MonitorRecord* monitor = findMonitor(monitors, deviceName);
  if (monitor == nullptr) return std::make_unique<NoDisplayGrabber>();
  return std::make_unique<X11Grabber>(session, *monitor, width, height);
}

}  // namespace corvane
