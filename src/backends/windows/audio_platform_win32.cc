// Core Audio on ole32.
#include <windows.h>
// After windows.h.
#include <mmdeviceapi.h>

#include "backends/windows/audio_platform.h"
#include "common/never_destroyed.h"

namespace corvane {
namespace {

const CLSID kMMDeviceEnumerator = {
    0xBCDE0395, 0xE52F, 0x467C, {0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E}};
const IID kIMMDeviceEnumerator = {
    0xA95664D2, 0x9614, 0x4F35, {0xA7, 0x46, 0xDE, 0x8D, 0xB6, 0x36, 0x17, 0xE6}};
const IID kIAudioMeterInformation = {
    0xC02216F6, 0x8C67, 0x4B5B, {0x9D, 0x00, 0xD0, 0x08, 0xE7, 0x3E, 0x00, 0x64}};

// IAudioMeterInformation, which mingw-w64's endpointvolume.h only forward-declares: IUnknown, then
// these four methods in this order.
struct AudioMeter : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetPeakValue(float* peak) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMeteringChannelCount(UINT* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetChannelsPeakValues(UINT32 count, float* peaks) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryHardwareSupport(DWORD* mask) = 0;
};

class Win32Audio final : public AudioPlatform {
 public:
  ComResult coInitialize() override { return CoInitialize(nullptr); }
  void coUninitialize() override { CoUninitialize(); }
  ComResult enterWorkerApartment() override { return CoInitialize(nullptr); }
  void leaveWorkerApartment() override { CoUninitialize(); }
  ComResult createDeviceEnumerator(ComObject* enumerator) override {
    return CoCreateInstance(kMMDeviceEnumerator, nullptr, CLSCTX_INPROC_SERVER, kIMMDeviceEnumerator,
                            enumerator);
  }
  ComResult defaultRenderEndpoint(ComObject enumerator, ComObject* device) override {
    return static_cast<IMMDeviceEnumerator*>(enumerator)
        ->GetDefaultAudioEndpoint(eRender, eConsole, reinterpret_cast<IMMDevice**>(device));
  }
  ComResult activatePeakMeter(ComObject device, ComObject* meter) override {
    return static_cast<IMMDevice*>(device)->Activate(kIAudioMeterInformation, CLSCTX_ALL, nullptr, meter);
  }
  ComResult peakValue(ComObject meter, float* level) override {
    return static_cast<AudioMeter*>(meter)->GetPeakValue(level);
  }
  void release(ComObject object) override { static_cast<IUnknown*>(object)->Release(); }
};

}  // namespace

AudioPlatform& audioPlatform() { return neverDestroyed<Win32Audio>(); }

}  // namespace corvane
