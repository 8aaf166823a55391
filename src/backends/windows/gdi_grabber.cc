#include "backends/windows/gdi_grabber.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "common/tick_phases.h"

namespace corvane {
namespace {

class ScopedContext {
 public:
  ScopedContext(GdiPlatform& gdi, GdiContext context) : gdi_(gdi), context_(context) {}
  ~ScopedContext() {
    if (context_ != nullptr) gdi_.deleteContext(context_);
  }
  ScopedContext(const ScopedContext&) = delete;
  ScopedContext& operator=(const ScopedContext&) = delete;
  GdiContext get() const { return context_; }

 private:
  GdiPlatform& gdi_;
  GdiContext context_;
};

class ScopedBitmap {
 public:
  ScopedBitmap(GdiPlatform& gdi, GdiObject bitmap) : gdi_(gdi), bitmap_(bitmap) {}
  ~ScopedBitmap() {
    if (bitmap_ != nullptr) gdi_.deleteObject(bitmap_);
  }
  ScopedBitmap(const ScopedBitmap&) = delete;
  ScopedBitmap& operator=(const ScopedBitmap&) = delete;
  GdiObject get() const { return bitmap_; }

 private:
  GdiPlatform& gdi_;
  GdiObject bitmap_;
};

// Keeps the bitmap selected into the memory context, and selects the previous object back
// before the bitmap is deleted: GDI does not delete a selected bitmap.
class ScopedSelection {
 public:
  ScopedSelection(GdiPlatform& gdi, GdiContext context, GdiObject object)
      : gdi_(gdi),
        context_(context),
        previous_(context != nullptr && object != nullptr ? gdi.selectObject(context, object) : nullptr) {}
  ~ScopedSelection() {
    if (previous_ != nullptr) gdi_.selectObject(context_, previous_);
  }
  ScopedSelection(const ScopedSelection&) = delete;
  ScopedSelection& operator=(const ScopedSelection&) = delete;

 private:
  GdiPlatform& gdi_;
  GdiContext context_;
  GdiObject previous_;
};

class GdiGrabber final : public PictureGrabber {
 public:
  GdiGrabber(GdiPlatform& gdi, const std::string& deviceName, int32_t width, int32_t height,
             uint64_t samplingRate)
      : PictureGrabber(width, height, samplingRate),
        gdi_(gdi),
        width_(width),
        height_(height),
        known_(gdi.isDisplay(deviceName)),
        display_(gdi, known_ ? gdi.createDisplayContext(deviceName) : nullptr),
        memory_(gdi, display_.get() != nullptr ? gdi.createCompatibleContext(display_.get()) : nullptr),
        bitmap_(gdi, display_.get() != nullptr ? gdi.createCompatibleBitmap(display_.get(), width, height)
                                               : nullptr),
        selection_(gdi, memory_.get(), bitmap_.get()) {
    if (!known_) {
      unopened_ = "no display of that name";
    } else if (display_.get() == nullptr) {
      unopened_ = "CreateDCA failed";
    } else if (memory_.get() == nullptr) {
      unopened_ = "CreateCompatibleDC failed";
    } else if (bitmap_.get() == nullptr && bytes_ > 0) {
      unopened_ = "CreateCompatibleBitmap failed";
    }
  }

  std::string blindness() const override { return blindness_; }
  const char* way() const override { return "GDI"; }

 private:
  // Null, so zero-filled, when nothing could be read; blindness_ says why.
  const uint8_t* readPicture() override {
    blindness_ = unopened_;
    if (*blindness_ != '\0' || bytes_ == 0) return nullptr;
    {
      // One buffer for every grab of this grabber: a fresh 8 MB allocation per tick costs more
      // than the sampling, queueing and delivery together.
      PhaseTimer timer(TickPhase::PixelBuffer);
      if (!pixels_) pixels_.reset(new (std::nothrow) uint8_t[bytes_]());
    }
    if (!pixels_) {
      blindness_ = "no memory for the pixels";
      return nullptr;
    }
    PhaseTimer timer(TickPhase::Grab);
    // The bitmap would still hold the last picture.
    if (!gdi_.bitBlt(memory_.get(), width_, height_, display_.get())) {
      blindness_ = "BitBlt failed";
      return nullptr;
    }
    DibHeader header = topDownDib32(width_, height_);
    const int32_t rows =
        std::clamp(gdi_.getDIBits(memory_.get(), bitmap_.get(), height_, pixels_.get(), header), 0, height_);
    if (rows == 0) {
      blindness_ = "GetDIBits failed";
      return nullptr;
    }
    // Rows not read out read as black, not as the last picture.
    const size_t readBytes = static_cast<size_t>(rows) * static_cast<size_t>(width_) * 4;
    std::memset(pixels_.get() + readBytes, 0, bytes_ - readBytes);
    return pixels_.get();
  }

  GdiPlatform& gdi_;
  int32_t width_;
  int32_t height_;
  size_t bytes_ = static_cast<size_t>(width_) * static_cast<size_t>(height_) * 4;
  std::unique_ptr<uint8_t[]> pixels_;
  const char* unopened_ = "";   // why the display could not be opened, for good
  const char* blindness_ = "";  // of the last grab
  bool known_;
  // Declared in the order of creation, so that they are released in reverse.
  ScopedContext display_;
  ScopedContext memory_;
  ScopedBitmap bitmap_;
  ScopedSelection selection_;
};

}  // namespace

std::unique_ptr<DisplayGrabber> openGdiGrabber(GdiPlatform& gdi, const DisplayRequest& display,
                                               uint64_t samplingRate) {
  return std::make_unique<GdiGrabber>(gdi, display.deviceName, display.width, display.height, samplingRate);
}

std::vector<std::unique_ptr<DisplayGrabber>> openGdiGrabbers(GdiPlatform& gdi,
                                                             const std::vector<DisplayRequest>& displays,
                                                             uint64_t samplingRate) {
  std::vector<std::unique_ptr<DisplayGrabber>> grabbers;
  grabbers.reserve(displays.size());
  for (const DisplayRequest& display : displays)
    grabbers.push_back(openGdiGrabber(gdi, display, samplingRate));
  return grabbers;
}

std::unique_ptr<DisplayGrabber> openDisplayGrabber(const DisplayRequest& display, uint64_t samplingRate) {
  return openGdiGrabber(gdiPlatform(), display, samplingRate);
}

std::vector<std::unique_ptr<DisplayGrabber>> openDisplayGrabbersInTurn(
    const std::vector<DisplayRequest>& displays, uint64_t samplingRate) {
  return openGdiGrabbers(gdiPlatform(), displays, samplingRate);
}

}  // namespace corvane
