// The sampler's vector paths on x86-64, chosen at run time by what the processor has.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

// Writes the samples of every step-th pixel (step 1 or 2) of a run of `available` blue-green-red-
// reserved pixels, in whole blocks that lie within the run; returns how many were written. The
// caller samples the rest.
using SampleRun = size_t (*)(const uint8_t* pixels, size_t available, size_t step, uint8_t* out);

size_t sampleRunSsse3(const uint8_t* pixels, size_t available, size_t step, uint8_t* out);
size_t sampleRunAvx2(const uint8_t* pixels, size_t available, size_t step, uint8_t* out);

bool processorHasSsse3();
bool processorHasAvx2();

}  // namespace corvane
