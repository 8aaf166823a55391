#pragma once

#include "common/faults.h"

namespace corvane::sim {

// The next `times` attempts of this kind fail.
void armFault(Fault fault, int times);

}  // namespace corvane::sim
