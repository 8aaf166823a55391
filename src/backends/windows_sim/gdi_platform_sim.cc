// Display grabs on the simulated desktop: its contexts copy what the monitors show.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "backends/windows/gdi_grabber.h"
#include "backends/windows_sim/call_log.h"
#include "backends/windows_sim/desktop.h"
#include "backends/windows_sim/sim_gdi.h"
#include "common/never_destroyed.h"

namespace corvane {
namespace {

// Every memory context starts with the stock one-pixel bitmap selected.
constexpr uintptr_t kStockBitmap = ~uintptr_t{0};

struct Context {
  bool isDisplay = false;
  sim::SimMonitor monitor;            // display contexts
  uintptr_t selected = kStockBitmap;  // memory contexts
};

struct Bitmap {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> pixels;
  uintptr_t selectedInto = 0;
  bool isSection = false;  // a DIB section, which the grabber fills a row at a time
};

std::string name(const char* kind, uintptr_t id) { return id == 0 ? "NULL" : kind + std::to_string(id); }
std::string objectName(uintptr_t id) { return id == kStockBitmap ? "stockbitmap" : name("bm", id); }

uintptr_t id(const void* handle) { return reinterpret_cast<uintptr_t>(handle); }
void* handle(uintptr_t id) { return reinterpret_cast<void*>(id); }

class SimGdi final : public GdiPlatform {
 public:
  // A look-up, not a graphics call: not in the call log.
  std::optional<DisplaySize> findDisplay(const std::string& deviceName) override {
    sim::SimMonitor monitor;
    if (!sim::findMonitor(deviceName, monitor)) return std::nullopt;
    return DisplaySize{monitor.width, monitor.height};
  }

  GdiContext createDisplayContext(const std::string& deviceName) override {
    std::lock_guard<std::mutex> lock(mutex_);
    Context context;
    context.isDisplay = true;
    const bool ok = !faults_.createDisplayContext && sim::findMonitor(deviceName, context.monitor) &&
                    !context.monitor.displayFails;
    const uintptr_t dc = ok ? sim::newHandle() : 0;
    if (ok) contexts_[dc] = context;
    sim::recordCall("CreateDCA(DISPLAY, " + deviceName + ", NULL, NULL) -> " + name("dc", dc));
    return handle(dc);
  }

  GdiContext createCompatibleContext(GdiContext display) override {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool ok = !faults_.createCompatibleContext && knownContext(id(display), "CreateCompatibleDC");
    const uintptr_t dc = ok ? sim::newHandle() : 0;
    if (ok) contexts_[dc] = Context{};
    sim::recordCall("CreateCompatibleDC(" + name("dc", id(display)) + ") -> " + name("dc", dc));
    return handle(dc);
  }

  GdiObject createCompatibleBitmap(GdiContext display, int32_t width, int32_t height) override {
    std::lock_guard<std::mutex> lock(mutex_);
    const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    const bool tooLarge = faults_.maxBitmapPixels != 0 && pixels > faults_.maxBitmapPixels;
    const bool ok =
        !faults_.createCompatibleBitmap && !tooLarge && knownContext(id(display), "CreateCompatibleBitmap");
    const uintptr_t bm = ok ? sim::newHandle() : 0;
    if (ok) {
      Bitmap& bitmap = bitmaps_[bm];
      bitmap.width = width;
      bitmap.height = height;
      // Real bitmaps start with undefined content; a recognisable fill shows a read that skipped the copy.
      bitmap.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0xAB);
    }
    sim::recordCall("CreateCompatibleBitmap(" + name("dc", id(display)) + ", " + std::to_string(width) +
                    ", " + std::to_string(height) + ") -> " + name("bm", bm));
    return handle(bm);
  }

  GdiObject createDibSection(GdiContext display, int32_t width, int32_t height, uint8_t** bits) override {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool ok = !faults_.createCompatibleBitmap && knownContext(id(display), "CreateDIBSection");
    const uintptr_t bm = ok ? sim::newHandle() : 0;
    *bits = nullptr;
    if (ok) {
      Bitmap& section = bitmaps_[bm];
      section.width = width;
      section.height = height;
      section.isSection = true;
      section.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0xAB);
      *bits = section.pixels.data();
    }
    sim::recordCall("CreateDIBSection(" + name("dc", id(display)) + ", " + std::to_string(width) + ", " +
                    std::to_string(height) + ") -> " + name("bm", bm));
    return handle(bm);
  }

  GdiObject selectObject(GdiContext context, GdiObject object) override {
    std::lock_guard<std::mutex> lock(mutex_);
    uintptr_t previous = 0;  // NULL: the selection failed
    auto found = contexts_.find(id(context));
    if (found == contexts_.end() || found->second.isDisplay) {
      misuse("SelectObject on " + name("dc", id(context)));
    } else if (id(object) != kStockBitmap && bitmaps_.count(id(object)) == 0) {
      misuse("SelectObject of unknown " + objectName(id(object)));
    } else {
      previous = found->second.selected;
      if (previous != kStockBitmap) bitmaps_[previous].selectedInto = 0;
      found->second.selected = id(object);
      if (id(object) != kStockBitmap) bitmaps_[id(object)].selectedInto = id(context);
    }
    sim::recordCall("SelectObject(" + name("dc", id(context)) + ", " + objectName(id(object)) + ") -> " +
                    objectName(previous));
    return handle(previous);
  }

  bool bitBlt(GdiContext target, int32_t targetY, int32_t width, int32_t height, GdiContext source,
              int32_t sourceY) override {
    std::chrono::microseconds delay{0};
    bool copied = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      delay = std::chrono::milliseconds(faults_.grabDelayMs) +
              std::chrono::microseconds(faults_.rowDelayUs) * height;
      sim::recordCall("BitBlt(" + name("dc", id(target)) + ", 0, " + std::to_string(targetY) + ", " +
                      std::to_string(width) + ", " + std::to_string(height) + ", " + name("dc", id(source)) +
                      ", 0, " + std::to_string(sourceY) + ", SRCCOPY)");
      auto memory = contexts_.find(id(target));
      auto display = contexts_.find(id(source));
      const bool intoSection = memory != contexts_.end() && memory->second.selected != kStockBitmap &&
                               bitmaps_[memory->second.selected].isSection;
      ++(intoSection ? rowCopies_ : grabs_);
      const bool reachesBelow = faults_.bitBltFromRow > 0 && sourceY + height > faults_.bitBltFromRow;
      if (faults_.bitBlt || reachesBelow || memory == contexts_.end() || display == contexts_.end() ||
          !display->second.isDisplay) {
        if (!faults_.bitBlt && !reachesBelow) misuse("BitBlt between unknown contexts");
      } else {
        if (memory->second.selected != kStockBitmap) {
          copyDisplay(display->second.monitor, bitmaps_[memory->second.selected], targetY, width, height,
                      sourceY);
        }
        copied = true;
      }
    }
    if (delay.count() > 0) std::this_thread::sleep_for(delay);
    return copied;
  }

  void flush() override { sim::recordCall("GdiFlush()"); }

  int32_t getDIBits(GdiContext context, GdiObject bitmap, int32_t lines, uint8_t* pixels,
                    DibHeader& header) override {
    std::lock_guard<std::mutex> lock(mutex_);
    sim::recordCall("GetDIBits(" + name("dc", id(context)) + ", " + objectName(id(bitmap)) + ", 0, " +
                    std::to_string(lines) + ", " + (pixels != nullptr ? "buffer" : "NULL") + ", {" +
                    std::to_string(header.size) + ", " + std::to_string(header.width) + ", " +
                    std::to_string(header.height) + ", " + std::to_string(header.planes) + ", " +
                    std::to_string(header.bitCount) + ", " + std::to_string(header.compression) + ", " +
                    std::to_string(header.sizeImage) + ", " + std::to_string(header.xPelsPerMeter) + ", " +
                    std::to_string(header.yPelsPerMeter) + ", " + std::to_string(header.clrUsed) + ", " +
                    std::to_string(header.clrImportant) + "}, DIB_RGB_COLORS)");
    auto found = bitmaps_.find(id(bitmap));
    if (faults_.getDIBits || pixels == nullptr || found == bitmaps_.end()) return 0;
    const Bitmap& source = found->second;
    // Only the format the grabber asks for is simulated: 32 bits, uncompressed, top-down.
    if (header.size != 40 || header.bitCount != 32 || header.compression != 0 || header.height >= 0 ||
        header.width != source.width || -header.height != source.height || lines > source.height) {
      misuse("GetDIBits with a header the simulation does not read");
      return 0;
    }
    const int32_t read = faults_.dibLines > 0 && faults_.dibLines < lines ? faults_.dibLines : lines;
    std::memcpy(pixels, source.pixels.data(),
                static_cast<size_t>(source.width) * static_cast<size_t>(read) * 4);
    return read;
  }

  void deleteObject(GdiObject object) override {
    std::lock_guard<std::mutex> lock(mutex_);
    sim::recordCall("DeleteObject(" + objectName(id(object)) + ")");
    auto found = bitmaps_.find(id(object));
    if (found == bitmaps_.end()) {
      misuse("DeleteObject of unknown " + objectName(id(object)));
      return;
    }
    if (found->second.selectedInto != 0)
      misuse("DeleteObject of " + objectName(id(object)) + " while selected");
    bitmaps_.erase(found);
  }

  void deleteContext(GdiContext context) override {
    std::lock_guard<std::mutex> lock(mutex_);
    sim::recordCall("DeleteDC(" + name("dc", id(context)) + ")");
    auto found = contexts_.find(id(context));
    if (found == contexts_.end()) {
      misuse("DeleteDC of unknown " + name("dc", id(context)));
      return;
    }
    contexts_.erase(found);
  }

  void setFaults(const sim::GdiFaults& faults) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_ = faults;
  }

  sim::GdiCensus census() {
    std::lock_guard<std::mutex> lock(mutex_);
    return {contexts_.size(), bitmaps_.size(), grabs_, rowCopies_, misuses_};
  }

  void reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    grabs_ = 0;
    rowCopies_ = 0;
    misuses_.clear();
  }

 private:
  bool knownContext(uintptr_t dc, const char* call) {
    if (contexts_.count(dc) != 0) return true;
    misuse(std::string(call) + " on " + name("dc", dc));
    return false;
  }

  void misuse(std::string what) { misuses_.push_back(std::move(what)); }

  // Copies width x height of the monitor from its row sourceY to the bitmap's row targetY; what
  // lies beyond the monitor reads as black.
  static void copyDisplay(const sim::SimMonitor& monitor, Bitmap& bitmap, int32_t targetY, int32_t width,
                          int32_t height, int32_t sourceY) {
    const int32_t w = std::min(width, bitmap.width);
    const int32_t h = std::min(height, bitmap.height - targetY);
    for (int32_t row = 0; row < h; ++row) {
      const int32_t y = sourceY + row;
      uint8_t* out =
          bitmap.pixels.data() + static_cast<size_t>(targetY + row) * static_cast<size_t>(bitmap.width) * 4;
      for (int32_t x = 0; x < w; ++x, out += 4) {
        uint32_t pixel = 0;
        if (x < monitor.width && y < monitor.height) {
          if (monitor.pixels) {
            std::memcpy(&pixel, monitor.pixels->data() + (static_cast<size_t>(y) * monitor.width + x) * 4, 4);
          } else {
            pixel = sim::patternPixel(x, y);
          }
        }
        std::memcpy(out, &pixel, 4);
      }
    }
  }

  std::mutex mutex_;
  sim::GdiFaults faults_;
  std::map<uintptr_t, Context> contexts_;
  std::map<uintptr_t, Bitmap> bitmaps_;
  size_t grabs_ = 0;
  size_t rowCopies_ = 0;
  std::vector<std::string> misuses_;
};

SimGdi& simGdi() { return neverDestroyed<SimGdi>(); }

}  // namespace

GdiPlatform& gdiPlatform() { return simGdi(); }

namespace sim {

void setGdiFaults(const GdiFaults& faults) { simGdi().setFaults(faults); }
GdiCensus gdiCensus() { return simGdi().census(); }
void resetGdi() { simGdi().reset(); }

}  // namespace sim
}  // namespace corvane
