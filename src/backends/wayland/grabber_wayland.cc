// Display grabs on Wayland through wlr-screencopy: each grab asks the compositor to copy the
// output's wanted region into a shared-memory buffer of ours, which is kept while its size and
// format stay the same. The worker holds its own connection for the whole capture.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <string>

#include "backends/wayland/wayland_backend.h"
#include "backends/wayland/wayland_desktop.h"
#include "capture/frame_copy.h"
#include "common/tick_phases.h"

namespace corvane {
namespace {

constexpr uint32_t kShmCreatePool = 0;
constexpr uint32_t kShmPoolCreateBuffer = 0;
constexpr int kShmPoolDestroy = 1;
constexpr int kBufferDestroy = 0;

// What the compositor said of one frame.
struct FrameEvents {
  bool hasShmBuffer = false;
  uint32_t format = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t stride = 0;
  bool buffersListed = false;  // buffer_done, from version 3
  uint32_t flags = 0;
  bool ready = false;
  bool failed = false;
};

struct FrameListener {
  void (*buffer)(void*, wl_proxy*, uint32_t, uint32_t, uint32_t, uint32_t);
  void (*flags)(void*, wl_proxy*, uint32_t);
  void (*ready)(void*, wl_proxy*, uint32_t, uint32_t, uint32_t);
  void (*failed)(void*, wl_proxy*);
  void (*damage)(void*, wl_proxy*, uint32_t, uint32_t, uint32_t, uint32_t);
  void (*linuxDmabuf)(void*, wl_proxy*, uint32_t, uint32_t, uint32_t);
  void (*bufferDone)(void*, wl_proxy*);
};

const FrameListener frameListener = {
    [](void* data, wl_proxy*, uint32_t format, uint32_t width, uint32_t height, uint32_t stride) {
      auto& events = *static_cast<FrameEvents*>(data);
      events = {true, format, width, height, stride};
    },
    [](void* data, wl_proxy*, uint32_t flags) { static_cast<FrameEvents*>(data)->flags = flags; },
    [](void* data, wl_proxy*, uint32_t, uint32_t, uint32_t) {
      static_cast<FrameEvents*>(data)->ready = true;
    },
    [](void* data, wl_proxy*) { static_cast<FrameEvents*>(data)->failed = true; },
    [](void*, wl_proxy*, uint32_t, uint32_t, uint32_t, uint32_t) {},
    [](void*, wl_proxy*, uint32_t, uint32_t, uint32_t) {},
    [](void* data, wl_proxy*) { static_cast<FrameEvents*>(data)->buffersListed = true; },
};

// A wl_shm buffer over an anonymous file mapped here too.
class ShmBuffer {
 public:
  ShmBuffer(WaylandDesktop& desktop, const FrameEvents& shape)
      : format_(shape.format), width_(shape.width), height_(shape.height), stride_(shape.stride) {
    size_ = static_cast<size_t>(stride_) * height_;
    if (size_ == 0 || size_ > static_cast<size_t>(INT32_MAX)) return;
    fd_ = memfd_create("corvane-screencopy", MFD_CLOEXEC);
    if (fd_ < 0 || ftruncate(fd_, static_cast<off_t>(size_)) != 0) return;
    void* data = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
    if (data == MAP_FAILED) return;
    data_ = static_cast<uint8_t*>(data);
    wl_argument poolArgs[3];
    poolArgs[0].n = 0;
    poolArgs[1].h = fd_;
    poolArgs[2].i = static_cast<int32_t>(size_);
    pool_ = desktop.create(desktop.shm(), kShmCreatePool, desktop.library().shmPoolInterface, 1,
                           {poolArgs[0], poolArgs[1], poolArgs[2]}, kShmPoolDestroy);
    if (!pool_) return;
    wl_argument bufferArgs[6];
    bufferArgs[0].n = 0;
    bufferArgs[1].i = 0;
    bufferArgs[2].i = static_cast<int32_t>(width_);
    bufferArgs[3].i = static_cast<int32_t>(height_);
    bufferArgs[4].i = static_cast<int32_t>(stride_);
    bufferArgs[5].u = format_;
    buffer_ = desktop.create(
        pool_.get(), kShmPoolCreateBuffer, desktop.library().bufferInterface, 1,
        {bufferArgs[0], bufferArgs[1], bufferArgs[2], bufferArgs[3], bufferArgs[4], bufferArgs[5]},
        kBufferDestroy);
  }
  ~ShmBuffer() {
    buffer_.reset();
    pool_.reset();
    if (data_ != nullptr) munmap(data_, size_);
    if (fd_ >= 0) close(fd_);
  }
  ShmBuffer(const ShmBuffer&) = delete;
  ShmBuffer& operator=(const ShmBuffer&) = delete;

  bool usable() const { return buffer_ != nullptr; }
  bool fits(const FrameEvents& shape) const {
    return shape.format == format_ && shape.width == width_ && shape.height == height_ &&
           shape.stride == stride_;
  }
  wl_proxy* buffer() const { return buffer_.get(); }
  const uint8_t* data() const { return data_; }

 private:
  uint32_t format_;
  uint32_t width_;
  uint32_t height_;
  uint32_t stride_;
  size_t size_ = 0;
  int fd_ = -1;
  uint8_t* data_ = nullptr;
  WaylandProxy pool_;
  WaylandProxy buffer_;
};

// One output's grabs, opened again on a new connection when the compositor went away.
class ScreencopyGrabber final : public PictureGrabber {
 public:
  ScreencopyGrabber(std::unique_ptr<WaylandDesktop> desktop, std::string deviceName, int32_t width,
                    int32_t height, uint64_t samplingRate)
      : PictureGrabber(width, height, samplingRate),
        deviceName_(std::move(deviceName)),
        width_(width),
        height_(height) {
    use(std::move(desktop));
  }
  ~ScreencopyGrabber() override {
    buffer_.reset();  // before the connection it lives on
  }

  std::string blindness() const override { return blindness_; }
  const char* way() const override { return "wlr-screencopy"; }

 private:
  // Null, so zero-filled, while there is no output of that name to copy or a copy failed;
  // blindness_ says why.
  const uint8_t* readPicture() override {
    if ((desktop_ == nullptr || !desktop_->usable()) && Clock::now() - openedAt_ >= kReopenPause) {
      buffer_.reset();
      use(WaylandDesktop::connect());
    }
    blindness_ = unusable();
    if (!blindness_.empty()) return nullptr;
    std::optional<FrameEvents> copied = copyOutput();
    if (!copied) {
      if (!desktop_->usable()) blindness_ = unusable();
      return nullptr;
    }
    PhaseTimer timer(TickPhase::PixelBuffer);
    return intoFrame(*copied);
  }

  using Clock = std::chrono::steady_clock;
  // Each try costs a connection attempt: not more often while no compositor is there.
  static constexpr auto kReopenPause = std::chrono::milliseconds(250);

  void use(std::unique_ptr<WaylandDesktop> desktop) {
    output_ = nullptr;
    desktop_ = std::move(desktop);
    openedAt_ = Clock::now();
    if (desktop_ == nullptr) return;
    // A name missing from the outputs read is missing for this connection's whole life.
    output_ = desktop_->findOutput(deviceName_);
    if (output_ == nullptr) return;
    region_ = {0, 0, std::min(width_, output_->width), std::min(height_, output_->height)};
  }

  // Why there is nothing to copy from; empty when there is.
  std::string unusable() const {
    if (desktop_ == nullptr) {
      if (runtimeLibrary<WaylandLibrary>() == nullptr) return "libwayland-client.so.0 is missing";
      const char* display = std::getenv("WAYLAND_DISPLAY");
      return std::string("no compositor answers on ") +
             (display != nullptr && *display != '\0' ? display : "wayland-0");
    }
    if (!desktop_->usable()) {
      return desktop_->timedOut() ? "the compositor did not answer within a second"
                                  : "the compositor went away";
    }
    if (desktop_->screencopyManager() == nullptr) return "the compositor offers no wlr-screencopy";
    if (output_ == nullptr) return "the compositor has no output of that name";
    return {};
  }

  // The frame's buffer and flags once copied; nothing when the copy failed.
  std::optional<FrameEvents> copyOutput() {
    PhaseTimer timer(TickPhase::Grab);
    WaylandDesktop& desktop = *desktop_;
    const WaylandExtensions& extensions = waylandExtensions(desktop.library());
    const uint32_t version = desktop.library().proxyVersion(desktop.screencopyManager());
    wl_argument args[7];
    args[0].n = 0;
    args[1].i = 0;  // no cursor
    args[2].o = reinterpret_cast<wl_object*>(output_->output.get());
    args[3].i = region_.x;
    args[4].i = region_.y;
    args[5].i = region_.width;
    args[6].i = region_.height;
    WaylandProxy frame = desktop.create(
        desktop.screencopyManager(), kScreencopyCaptureOutputRegion, extensions.screencopyFrame, version,
        {args[0], args[1], args[2], args[3], args[4], args[5], args[6]}, kScreencopyFrameDestroy);
    if (!frame) {
      blindness_ = "no memory for the copy";
      return std::nullopt;
    }
    FrameEvents events;
    desktop.listen(frame.get(), frameListener, &events);
    // Before version 3 the buffer event is all there is to wait for.
    const bool listed = desktop.dispatchUntil(
        [&] { return events.failed || (version >= 3 ? events.buffersListed : events.hasShmBuffer); });
    if (!listed) return std::nullopt;
    if (events.failed) return failedCopy();
    if (!events.hasShmBuffer) {
      blindness_ = "the compositor offers no shared-memory buffer for the copy";
      return std::nullopt;
    }
    if (buffer_ == nullptr || !buffer_->fits(events)) {
      buffer_.reset();
      buffer_ = std::make_unique<ShmBuffer>(desktop, events);
      if (!buffer_->usable()) {
        buffer_.reset();
        blindness_ = "no shared-memory buffer could be made for the copy";
        return std::nullopt;
      }
    }
    wl_argument target{};
    target.o = reinterpret_cast<wl_object*>(buffer_->buffer());
    desktop.send(frame.get(), kScreencopyFrameCopy, {target});
    if (!desktop.dispatchUntil([&] { return events.ready || events.failed; })) return std::nullopt;
    if (events.failed) return failedCopy();
    return events;
  }

  // A copy the compositor failed, as it does for an output that is gone.
  std::optional<FrameEvents> failedCopy() {
    blindness_ = "the compositor failed the copy";
    return std::nullopt;
  }

  // The copied region as the capture's frame: top-down blue-green-red-reserved, width_ x height_,
  // black past the output's edge.
  const uint8_t* intoFrame(const FrameEvents& copied) {
    const std::optional<PixelFormat> format = shmPixelFormat(copied.format);
    if (!format) {
      blindness_ = "the compositor gives wl_shm format " + std::to_string(copied.format) +
                   ", which corvane cannot read";
      return nullptr;
    }
    const bool flipped = (copied.flags & kScreencopyYInvert) != 0;
    const auto bufferWidth = static_cast<int32_t>(copied.width);
    const auto bufferHeight = static_cast<int32_t>(copied.height);
    // The buffer itself is the frame when nothing needs changing, as on every 1:1 XRGB output.
    if (isBgrx(*format) && !flipped && bufferWidth == width_ && bufferHeight == height_ &&
        region_.width == width_ && region_.height == height_ &&
        copied.stride == static_cast<uint32_t>(width_) * 4) {
      return buffer_->data();
    }
    const size_t frameBytes = static_cast<size_t>(width_) * height_ * 4;
    if (frame_ == nullptr) {
      frame_.reset(new (std::nothrow) uint8_t[frameBytes]);
      if (frame_ == nullptr) {
        blindness_ = "no memory for the pixels";
        return nullptr;
      }
    }
    std::memset(frame_.get(), 0, frameBytes);
    const ShmImage image{buffer_->data(), copied.stride, *format, bufferWidth, bufferHeight, flipped};
    copyImageIntoFrame(image, region_.width, region_.height, frame_.get(), width_);
    return frame_.get();
  }

  std::string deviceName_;
  int32_t width_;
  int32_t height_;
  std::unique_ptr<WaylandDesktop> desktop_;
  const WaylandOutput* output_ = nullptr;  // one of desktop_'s
  PixelArea region_;                       // of the output, in its layout pixels
  std::unique_ptr<ShmBuffer> buffer_;
  std::unique_ptr<uint8_t[]> frame_;
  Clock::time_point openedAt_;
  std::string blindness_;  // of the last grab
};

}  // namespace

std::unique_ptr<DisplayGrabber> openScreencopyGrabber(const DisplayRequest& display, uint64_t samplingRate) {
  std::unique_ptr<WaylandDesktop> desktop = WaylandDesktop::connect();
  if (desktop != nullptr && desktop->screencopyManager() == nullptr) return nullptr;
  return std::make_unique<ScreencopyGrabber>(std::move(desktop), display.deviceName, display.width,
                                             display.height, samplingRate);
}

}  // namespace corvane
