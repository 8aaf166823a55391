// Where the pointer is, read from the platform.
#pragma once

#include <cstdint>

namespace corvane {

struct CursorRead {
  bool ok = false;
  int32_t x = 0;
  int32_t y = 0;
  uint32_t error = 0;  // the platform's error code when the read failed
};

CursorRead readCursor();

}  // namespace corvane
