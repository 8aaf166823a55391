// The Core Audio calls of one peak-meter read, one method each, so that the read runs the same way
// on the real platform and on the simulated one. Results are COM status codes: negative is failure.
#pragma once

#include <cstdint>

namespace corvane {

using ComObject = void*;
using ComResult = int32_t;

class AudioPlatform {
 public:
  virtual ~AudioPlatform() = default;

  virtual ComResult coInitialize() = 0;
  virtual void coUninitialize() = 0;
  // The stream's worker stays in COM from its first tick to its last, so that each tick's own
  // CoInitialize/CoUninitialize pair nests inside and does not load and unload COM every period.
  virtual ComResult enterWorkerApartment() = 0;
  virtual void leaveWorkerApartment() = 0;
  // The device enumerator (CLSID_MMDeviceEnumerator, CLSCTX_INPROC_SERVER, IID_IMMDeviceEnumerator).
  virtual ComResult createDeviceEnumerator(ComObject* enumerator) = 0;
  // The default endpoint for eRender and eConsole.
  virtual ComResult defaultRenderEndpoint(ComObject enumerator, ComObject* device) = 0;
  // The device's IAudioMeterInformation, with CLSCTX_ALL and no parameters.
  virtual ComResult activatePeakMeter(ComObject device, ComObject* meter) = 0;
  virtual ComResult peakValue(ComObject meter, float* level) = 0;
  virtual void release(ComObject object) = 0;
};

AudioPlatform& audioPlatform();

// One tick's reading: the peak level of the default output device, or the negative code of the
// step that failed (-1.1 COM, -1.2 enumerator, -1.3 endpoint, -1.4 meter), with a line on
// standard error for each failure. Everything obtained is released, newest first.
float readPeakLevel(AudioPlatform& platform);

}  // namespace corvane
