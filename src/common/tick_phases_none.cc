#include "common/tick_phases.h"

namespace corvane {

void recordTickPhase(TickPhase, std::chrono::steady_clock::duration) {}

}  // namespace corvane
