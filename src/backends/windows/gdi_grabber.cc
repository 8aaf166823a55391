#include "backends/windows/gdi_grabber.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "capture/cheaper_way.h"
#include "capture/sampler.h"
#include "common/environment.h"
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

// At rates of 2 and more the grabber can copy just the rows it samples, one BitBlt each, into a
// DIB section of the sample grid's height, instead of the whole area. Which is cheaper depends on
// the machine (one-row copies cost a call each; a whole copy moves rate times the pixels), so each
// capture times both (CheaperWay), unless CORVANE_GDI_SAMPLING forces one. Only an area that
// lies on the monitor is read by rows: past its edge GDI's whole copy decides what is seen (Wine
// fails such a copy entirely), and the rows could not give the same frame.
constexpr CheaperWay::Way kWhole = CheaperWay::kFirst;
constexpr CheaperWay::Way kRows = CheaperWay::kSecond;

CheaperWay wayOfReading() {
  const std::string forced = environmentVariable("CORVANE_GDI_SAMPLING");
  if (forced == "whole") return CheaperWay::fixed(kWhole);
  if (forced == "rows") return CheaperWay::fixed(kRows);
  return CheaperWay();
}

bool liesOn(const std::optional<DisplaySize>& display, int32_t width, int32_t height) {
  return display && width <= display->width && height <= display->height;
}

class GdiGrabber final : public DisplayGrabber {
 public:
  GdiGrabber(GdiPlatform& gdi, const std::string& deviceName, int32_t width, int32_t height,
             uint64_t samplingRate)
      : gdi_(gdi),
        width_(width),
        height_(height),
        samplingRate_(samplingRate),
        monitor_(gdi.findDisplay(deviceName)),
        display_(gdi, monitor_ ? gdi.createDisplayContext(deviceName) : nullptr),
        memory_(gdi, display_.get() != nullptr ? gdi.createCompatibleContext(display_.get()) : nullptr),
        bitmap_(gdi, display_.get() != nullptr ? gdi.createCompatibleBitmap(display_.get(), width, height)
                                               : nullptr),
        selection_(gdi, memory_.get(), bitmap_.get()),
        rowsMemory_(gdi, readsRows() ? gdi.createCompatibleContext(display_.get()) : nullptr),
        rowsSection_(gdi, rowsMemory_.get() != nullptr
                              ? gdi.createDibSection(display_.get(), width, gridRows_, &rowPixels_)
                              : nullptr),
        rowsSelection_(gdi, rowsMemory_.get(), rowsSection_.get()),
        way_(rowsSection_.get() != nullptr && rowPixels_ != nullptr ? wayOfReading()
                                                                    : CheaperWay::fixed(kWhole)) {
    if (!monitor_) {
      unopened_ = "no display of that name";
    } else if (display_.get() == nullptr) {
      unopened_ = "CreateDCA failed";
    } else if (memory_.get() == nullptr) {
      unopened_ = "CreateCompatibleDC failed";
    } else if (bitmap_.get() == nullptr && bytes_ > 0) {
      unopened_ = "CreateCompatibleBitmap failed";
    }
  }

  void grab(uint8_t* frame) override {
    blindness_ = unopened_;
    if (*blindness_ != '\0' || bytes_ == 0) return;
    const CheaperWay::Way way = way_.next();
    const auto start = std::chrono::steady_clock::now();
    const bool saw = way == kRows ? grabRows(frame) : grabWhole(frame);
    // A grab that failed says nothing of what reading costs.
    if (saw) way_.tookTime(std::chrono::steady_clock::now() - start);
  }

  std::string blindness() const override { return blindness_; }
  const char* way() const override { return "GDI"; }

 private:
  bool readsRows() const {
    return samplingRate_ >= 2 && bytes_ > 0 && liesOn(monitor_, width_, height_) && display_.get() != nullptr;
  }

  bool grabWhole(uint8_t* frame) {
    {
      // One buffer for every grab of this grabber: a fresh 8 MB allocation per tick costs more
      // than the sampling, queueing and delivery together.
      PhaseTimer timer(TickPhase::PixelBuffer);
      if (!pixels_) pixels_.reset(new (std::nothrow) uint8_t[bytes_]());
    }
    if (!pixels_) {
      blindness_ = "no memory for the pixels";
      return false;
    }
    int32_t rows = 0;
    {
      PhaseTimer timer(TickPhase::Grab);
      // The bitmap would still hold the last picture.
      if (!gdi_.bitBlt(memory_.get(), 0, width_, height_, display_.get(), 0)) {
        blindness_ = "BitBlt failed";
        return false;
      }
      DibHeader header = topDownDib32(width_, height_);
      rows = std::clamp(gdi_.getDIBits(memory_.get(), bitmap_.get(), height_, pixels_.get(), header), 0,
                        height_);
      if (rows == 0) {
        blindness_ = "GetDIBits failed";
        return false;
      }
    }
    // Rows not read out read as black, not as the last picture.
    const size_t readBytes = static_cast<size_t>(rows) * static_cast<size_t>(width_) * 4;
    std::memset(pixels_.get() + readBytes, 0, bytes_ - readBytes);
    PhaseTimer timer(TickPhase::Sample);
    sampleFrame(pixels_.get(), width_, height_, samplingRate_, frame);
    return true;
  }

  // Row i of the section is row i x rate of the display. A row whose copy fails is black, as the
  // rows a whole read misses are.
  bool grabRows(uint8_t* frame) {
    const size_t rowBytes = static_cast<size_t>(width_) * 4;
    failedRows_.clear();
    {
      PhaseTimer timer(TickPhase::Grab);
      for (int32_t row = 0; row < gridRows_; ++row) {
        const auto y = static_cast<int32_t>(static_cast<uint64_t>(row) * samplingRate_);
        if (!gdi_.bitBlt(rowsMemory_.get(), row, width_, 1, display_.get(), y)) failedRows_.push_back(row);
      }
      gdi_.flush();
    }
    if (static_cast<int32_t>(failedRows_.size()) == gridRows_) {
      blindness_ = "BitBlt failed";
      return false;
    }
    for (const int32_t row : failedRows_)
      std::memset(rowPixels_ + static_cast<size_t>(row) * rowBytes, 0, rowBytes);
    if (!failedRows_.empty()) blindness_ = "BitBlt failed";
    PhaseTimer timer(TickPhase::Sample);
    sampleColumns(rowPixels_, width_, gridRows_, samplingRate_, frame);
    return failedRows_.empty();
  }

  GdiPlatform& gdi_;
  int32_t width_;
  int32_t height_;
  uint64_t samplingRate_;
  size_t bytes_ = static_cast<size_t>(width_) * static_cast<size_t>(height_) * 4;
  int32_t gridRows_ =
      static_cast<int32_t>((static_cast<uint64_t>(height_) + samplingRate_ - 1) / samplingRate_);
  std::unique_ptr<uint8_t[]> pixels_;
  uint8_t* rowPixels_ = nullptr;  // the rows section's, owned by GDI
  std::vector<int32_t> failedRows_;
  const char* unopened_ = "";   // why the display could not be opened, for good
  const char* blindness_ = "";  // of the last grab
  std::optional<DisplaySize> monitor_;
  // Declared in the order of creation, so that they are released in reverse.
  ScopedContext display_;
  ScopedContext memory_;
  ScopedBitmap bitmap_;
  ScopedSelection selection_;
  ScopedContext rowsMemory_;
  ScopedBitmap rowsSection_;
  ScopedSelection rowsSelection_;
  CheaperWay way_;
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
