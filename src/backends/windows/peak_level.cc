#include "backends/windows/audio_platform.h"
#include "common/diagnostics.h"

namespace corvane {
namespace {

// Leaves COM on every path out, if it was entered.
class ComApartment {
 public:
  explicit ComApartment(AudioPlatform& platform)
      : platform_(platform), entered_(platform.coInitialize() >= 0) {}
  ~ComApartment() {
    if (entered_) platform_.coUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  bool entered() const { return entered_; }

 private:
  AudioPlatform& platform_;
  bool entered_;
};

// Releases the interface it holds.
class ComReference {
 public:
  explicit ComReference(AudioPlatform& platform) : platform_(platform) {}
  ~ComReference() {
    if (object_ != nullptr) platform_.release(object_);
  }
  ComReference(const ComReference&) = delete;
  ComReference& operator=(const ComReference&) = delete;
  ComObject* out() { return &object_; }
  ComObject get() const { return object_; }

 private:
  AudioPlatform& platform_;
  ComObject object_ = nullptr;
};

}  // namespace

float readPeakLevel(AudioPlatform& platform) {
  ComApartment com(platform);
  if (!com.entered()) {
    writeDiagnosticLine("COM initialization failed");
    return -1.1f;
  }
  // Declared after the apartment, so released before it is left.
  ComReference enumerator(platform);
  if (platform.createDeviceEnumerator(enumerator.out()) < 0) {
    writeDiagnosticLine("Failed to create device enumerator");
    return -1.2f;
  }
  ComReference device(platform);
  if (platform.defaultRenderEndpoint(enumerator.get(), device.out()) < 0) {
    writeDiagnosticLine("Failed to get default audio endpoint");
    return -1.3f;
  }
  ComReference meter(platform);
  if (platform.activatePeakMeter(device.get(), meter.out()) < 0) {
    writeDiagnosticLine("Failed to activate audio meter information");
    return -1.4f;
  }
  float level = 0.0f;
  if (platform.peakValue(meter.get(), &level) < 0) writeDiagnosticLine("Failed to get peak value");
  return level;
}

}  // namespace corvane
