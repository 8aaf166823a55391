// The Core Audio meter: the worker stays in COM for its whole run, and each tick reads the default
// endpoint's meter afresh (readPeakLevel), so a new default device is read at the next tick.
#include "audio/peak_meter.h"
#include "backends/windows/audio_platform.h"

namespace corvane {
namespace {

class ComPeakMeter final : public PeakMeter {
 public:
  explicit ComPeakMeter(AudioPlatform& platform)
      : platform_(platform), entered_(platform.enterWorkerApartment() >= 0) {}
  ~ComPeakMeter() override {
    if (entered_) platform_.leaveWorkerApartment();
  }
  ComPeakMeter(const ComPeakMeter&) = delete;
  ComPeakMeter& operator=(const ComPeakMeter&) = delete;

  // A failed entry shows in each tick's own.
  float read() override { return readPeakLevel(platform_); }

 private:
  AudioPlatform& platform_;
  bool entered_;
};

}  // namespace

std::unique_ptr<PeakMeter> openPeakMeter() { return std::make_unique<ComPeakMeter>(audioPlatform()); }

}  // namespace corvane
