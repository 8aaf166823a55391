#include "capture/grabber.h"

#include "capture/sampler.h"
#include "common/tick_phases.h"

namespace corvane {

void PictureGrabber::grab(uint8_t* frame) {
  const uint8_t* pixels = readPicture();
  if (pixels == nullptr) return;
  PhaseTimer timer(TickPhase::Sample);
  sampleFrame(pixels, width_, height_, samplingRate_, frame);
}

}  // namespace corvane
