// The sampler's vector paths. Each processor family has a file of its own (sampler_x86.cc,
// sampler_neon.cc, sampler_scalar.cc elsewhere), and the build compiles the one it targets.
#pragma once

#include <cstddef>
#include <cstdint>

#include "capture/sampler.h"

namespace corvane {

// Writes the samples of every step-th pixel (step 1 or 2) of a run of `available` blue-green-red-
// reserved pixels, in whole blocks that lie within the run; returns how many were written. The
// caller samples the rest.
using SampleRun = size_t (*)(const uint8_t* pixels, size_t available, size_t step, uint8_t* out);

// The run of path, or null where this build or processor lacks it (and for the plain path).
SampleRun vectorRun(SamplerPath path);

}  // namespace corvane
