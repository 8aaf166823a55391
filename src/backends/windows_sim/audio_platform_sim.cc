// Core Audio on the simulated desktop: each step succeeds or fails as scripted.
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "backends/windows/audio_platform.h"
#include "backends/windows_sim/call_log.h"
#include "backends/windows_sim/desktop.h"
#include "backends/windows_sim/sim_audio.h"
#include "common/never_destroyed.h"

namespace corvane {
namespace {

std::string hex(int32_t result) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08X", static_cast<uint32_t>(result));
  return text;
}

class SimAudio final : public AudioPlatform {
 public:
  ComResult coInitialize() override {
    uint32_t delay = 0;
    ComResult result = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++census_.reads;
      delay = script_.delayMs;
      result = script_.coInitialize;
      if (result >= 0) ++census_.apartments;
    }
    sim::recordCall("CoInitialize(NULL) -> " + hex(result));
    if (delay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    return result;
  }

  void coUninitialize() override {
    sim::recordCall("CoUninitialize()");
    std::lock_guard<std::mutex> lock(mutex_);
    --census_.apartments;
  }

  ComResult enterWorkerApartment() override {
    sim::recordCall("worker: CoInitialize(NULL) -> 0x00000000");
    std::lock_guard<std::mutex> lock(mutex_);
    ++census_.workerApartments;
    return 0;
  }

  void leaveWorkerApartment() override {
    sim::recordCall("worker: CoUninitialize()");
    std::lock_guard<std::mutex> lock(mutex_);
    --census_.workerApartments;
  }

  ComResult createDeviceEnumerator(ComObject* enumerator) override {
    return obtain(script().createEnumerator,
                  "CoCreateInstance({BCDE0395-E52F-467C-8E3D-C4579291692E}, NULL, 1, "
                  "{A95664D2-9614-4F35-A746-DE8DB63617E6})",
                  enumerator);
  }

  ComResult defaultRenderEndpoint(ComObject enumerator, ComObject* device) override {
    return obtain(script().defaultEndpoint, name(enumerator) + "->GetDefaultAudioEndpoint(0, 0)", device);
  }

  ComResult activatePeakMeter(ComObject device, ComObject* meter) override {
    return obtain(script().activateMeter,
                  name(device) + "->Activate({C02216F6-8C67-4B5B-9D00-D008E73E0064}, 23, NULL)", meter);
  }

  ComResult peakValue(ComObject meter, float* level) override {
    const sim::AudioScript s = script();
    sim::recordCall(name(meter) + "->GetPeakValue() -> " + hex(s.peakValue));
    if (s.peakValue >= 0 || s.failedPeakWrites) *level = s.level;
    return s.peakValue;
  }

  void release(ComObject object) override {
    sim::recordCall(name(object) + "->Release()");
    std::lock_guard<std::mutex> lock(mutex_);
    --census_.objects;
  }

  void setScript(const sim::AudioScript& script) {
    std::lock_guard<std::mutex> lock(mutex_);
    script_ = script;
  }

  sim::AudioCensus census() {
    std::lock_guard<std::mutex> lock(mutex_);
    return census_;
  }

 private:
  sim::AudioScript script() {
    std::lock_guard<std::mutex> lock(mutex_);
    return script_;
  }

  static std::string name(ComObject object) {
    const auto id = reinterpret_cast<uintptr_t>(object);
    return "object" + std::to_string(id);
  }

  ComResult obtain(ComResult result, const std::string& call, ComObject* out) {
    if (result < 0) {
      sim::recordCall(call + " -> " + hex(result));
      return result;
    }
    *out = reinterpret_cast<ComObject>(sim::newHandle());
    sim::recordCall(call + " -> " + name(*out));
    std::lock_guard<std::mutex> lock(mutex_);
    ++census_.objects;
    return result;
  }

  std::mutex mutex_;
  sim::AudioScript script_;
  sim::AudioCensus census_;
};

SimAudio& simAudio() { return neverDestroyed<SimAudio>(); }

}  // namespace

AudioPlatform& audioPlatform() { return simAudio(); }

namespace sim {

void setAudio(const AudioScript& script) { simAudio().setScript(script); }
AudioCensus audioCensus() { return simAudio().census(); }

}  // namespace sim
}  // namespace corvane
