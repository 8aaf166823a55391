// Script of the simulated pointer.
#pragma once

#include <cstdint>

namespace corvane::sim {

void setCursor(int32_t x, int32_t y);
// Reads fail with this code from now on; 0 makes them succeed again.
void setCursorError(uint32_t error);
uint64_t cursorReads();

}  // namespace corvane::sim
