#include "common/tick_phases.h"

namespace corvane {

PhaseStart beginTickPhase() { return {}; }
void endTickPhase(TickPhase, const PhaseStart&) {}

}  // namespace corvane
