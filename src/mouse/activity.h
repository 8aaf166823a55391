// Whether the user was active since the previous look, as the platform tells it: the pointer's
// position against the last one read, or a Wayland desktop's own account of its input.
#pragma once

#include <cstdint>

namespace corvane {

struct ActivityRead {
  bool ok = false;
  bool active = false;
  uint32_t error = 0;  // the platform's error code when the look failed
};

class ActivitySensor {
 public:
  virtual ~ActivitySensor() = default;
  // Looked at by one tracking worker at a time. The process keeps its sensor, so that a run goes
  // on from the last look of the one before.
  virtual ActivityRead look() = 0;
};

// The pointer's position through readCursor() against the last one read, at first (0, 0).
ActivitySensor& pointerActivity();

// The sensor of the platform this build runs on.
ActivitySensor& activitySensor();

}  // namespace corvane
