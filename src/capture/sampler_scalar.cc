// Processors without a vector path of ours sample through the plain loop alone.
#include "capture/sampler_vectors.h"

namespace corvane {

SampleRun vectorRun(SamplerPath) { return nullptr; }

}  // namespace corvane
