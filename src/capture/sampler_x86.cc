// Only the functions marked for an extension use it, so the module still loads and runs the plain
// path on a processor without it. Kept free of inline functions from other headers: an inline
// copy compiled here could use the extension and be the one the linker keeps.
#include <immintrin.h>

#include "capture/sampler_vectors.h"

#define CORVANE_SSSE3 __attribute__((target("ssse3")))
#define CORVANE_AVX2 __attribute__((target("avx2")))

namespace corvane {
namespace {

// Red, green, blue of each of the four pixels of a 16-byte lane, in its first 12 bytes.
CORVANE_SSSE3 __m128i laneMask() {
  return _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
}

CORVANE_SSSE3 __m128i load4(const uint8_t* pixels) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels));
}

// Pixels 0, 2, 4 and 6 of the eight from pixels on.
CORVANE_SSSE3 __m128i loadEven4(const uint8_t* pixels) {
  return _mm_castps_si128(_mm_shuffle_ps(_mm_castsi128_ps(load4(pixels)),
                                         _mm_castsi128_ps(load4(pixels + 16)), _MM_SHUFFLE(2, 0, 2, 0)));
}

// Sixteen pixels, four to a vector, as 48 bytes of red, green and blue.
CORVANE_SSSE3 void store16(__m128i a, __m128i b, __m128i c, __m128i d, uint8_t* out) {
  const __m128i mask = laneMask();
  a = _mm_shuffle_epi8(a, mask);
  b = _mm_shuffle_epi8(b, mask);
  c = _mm_shuffle_epi8(c, mask);
  d = _mm_shuffle_epi8(d, mask);
  auto* to = reinterpret_cast<__m128i*>(out);
  _mm_storeu_si128(to, _mm_or_si128(a, _mm_slli_si128(b, 12)));
  _mm_storeu_si128(to + 1, _mm_or_si128(_mm_srli_si128(b, 4), _mm_slli_si128(c, 8)));
  _mm_storeu_si128(to + 2, _mm_or_si128(_mm_srli_si128(c, 8), _mm_slli_si128(d, 4)));
}

CORVANE_AVX2 __m256i load8(const uint8_t* pixels) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels));
}

// Pixels 0, 2, ..., 14 of the sixteen from pixels on.
CORVANE_AVX2 __m256i loadEven8(const uint8_t* pixels) {
  // Each lane takes its even pixels from both loads: 0 2 8 10 | 4 6 12 14; the middle halves swap.
  const __m256 mixed = _mm256_shuffle_ps(_mm256_castsi256_ps(load8(pixels)),
                                         _mm256_castsi256_ps(load8(pixels + 32)), _MM_SHUFFLE(2, 0, 2, 0));
  return _mm256_permute4x64_epi64(_mm256_castps_si256(mixed), _MM_SHUFFLE(3, 1, 2, 0));
}

// The 4-byte words of v in the given order.
CORVANE_AVX2 __m256i words(__m256i v, int w0, int w1, int w2, int w3, int w4, int w5, int w6, int w7) {
  return _mm256_permutevar8x32_epi32(v, _mm256_setr_epi32(w0, w1, w2, w3, w4, w5, w6, w7));
}

// Thirty-two pixels, eight to a vector, as 96 bytes of red, green and blue. vpshufb stays within
// each 16-byte lane, which then holds three 4-byte words of samples; vpermd moves the words of
// each store into place across lanes.
CORVANE_AVX2 void store32(__m256i a, __m256i b, __m256i c, __m256i d, uint8_t* out) {
  const __m256i mask = _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1,  //
                                        2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
  a = _mm256_shuffle_epi8(a, mask);  // words 0 1 2 4 5 6 hold samples
  b = _mm256_shuffle_epi8(b, mask);
  c = _mm256_shuffle_epi8(c, mask);
  d = _mm256_shuffle_epi8(d, mask);
  auto* to = reinterpret_cast<__m256i*>(out);
  _mm256_storeu_si256(
      to, _mm256_blend_epi32(words(a, 0, 1, 2, 4, 5, 6, 0, 0), words(b, 0, 0, 0, 0, 0, 0, 0, 1), 0xC0));
  _mm256_storeu_si256(
      to + 1, _mm256_blend_epi32(words(b, 2, 4, 5, 6, 0, 0, 0, 0), words(c, 0, 0, 0, 0, 0, 1, 2, 4), 0xF0));
  _mm256_storeu_si256(
      to + 2, _mm256_blend_epi32(words(c, 5, 6, 0, 0, 0, 0, 0, 0), words(d, 0, 0, 0, 1, 2, 4, 5, 6), 0xFC));
}

CORVANE_SSSE3 size_t runSsse3(const uint8_t* pixels, size_t available, size_t step, uint8_t* out) {
  constexpr size_t kBlock = 16;
  const size_t blocks = available / (kBlock * step);
  for (size_t i = 0; i < blocks; ++i, out += kBlock * 3) {
    const uint8_t* p = pixels + i * kBlock * step * 4;
    if (step == 1) {
      store16(load4(p), load4(p + 16), load4(p + 32), load4(p + 48), out);
    } else {
      store16(loadEven4(p), loadEven4(p + 32), loadEven4(p + 64), loadEven4(p + 96), out);
    }
  }
  return blocks * kBlock;
}

CORVANE_AVX2 size_t runAvx2(const uint8_t* pixels, size_t available, size_t step, uint8_t* out) {
  constexpr size_t kBlock = 32;
  const size_t blocks = available / (kBlock * step);
  for (size_t i = 0; i < blocks; ++i, out += kBlock * 3) {
    const uint8_t* p = pixels + i * kBlock * step * 4;
    if (step == 1) {
      store32(load8(p), load8(p + 32), load8(p + 64), load8(p + 96), out);
    } else {
      store32(loadEven8(p), loadEven8(p + 64), loadEven8(p + 128), loadEven8(p + 192), out);
    }
  }
  return blocks * kBlock;
}

// __builtin_cpu_supports takes a literal only.
bool processorHasSsse3() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("ssse3") != 0;
}

bool processorHasAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") != 0;
}

}  // namespace

SampleRun vectorRun(SamplerPath path) {
  static const bool ssse3 = processorHasSsse3();
  static const bool avx2 = processorHasAvx2();
  if (path == SamplerPath::Ssse3 && ssse3) return runSsse3;
  if (path == SamplerPath::Avx2 && avx2) return runAvx2;
  return nullptr;
}

}  // namespace corvane
