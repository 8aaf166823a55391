// Advanced SIMD is part of every AArch64 processor, so the NEON path needs no check at run time.
#include <arm_neon.h>

#include "capture/sampler_vectors.h"

namespace corvane {
namespace {

// vld4 splits sixteen pixels into their blue, green, red and reserved bytes; vst3 writes red,
// green and blue back interleaved. At step 2 the even bytes of two such loads are the even pixels.
size_t runNeon(const uint8_t* pixels, size_t available, size_t step, uint8_t* out) {
  constexpr size_t kBlock = 16;
  const size_t blocks = available / (kBlock * step);
  for (size_t i = 0; i < blocks; ++i, out += kBlock * 3) {
    const uint8_t* p = pixels + i * kBlock * step * 4;
    const uint8x16x4_t first = vld4q_u8(p);
    uint8x16x3_t samples;
    if (step == 1) {
      samples.val[0] = first.val[2];
      samples.val[1] = first.val[1];
      samples.val[2] = first.val[0];
    } else {
      const uint8x16x4_t second = vld4q_u8(p + kBlock * 4);
      samples.val[0] = vuzp1q_u8(first.val[2], second.val[2]);
      samples.val[1] = vuzp1q_u8(first.val[1], second.val[1]);
      samples.val[2] = vuzp1q_u8(first.val[0], second.val[0]);
    }
    vst3q_u8(out, samples);
  }
  return blocks * kBlock;
}

}  // namespace

SampleRun vectorRun(SamplerPath path) { return path == SamplerPath::Neon ? runNeon : nullptr; }

}  // namespace corvane
