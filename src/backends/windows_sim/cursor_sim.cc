// The simulated pointer, which tests move and break.
#include <mutex>

#include "backends/windows_sim/sim_cursor.h"
#include "common/never_destroyed.h"
#include "mouse/activity.h"
#include "mouse/cursor.h"

namespace corvane {
namespace {

struct SimCursor {
  std::mutex mutex;
  int32_t x = 0;
  int32_t y = 0;
  uint32_t error = 0;
  uint64_t reads = 0;
};

SimCursor& cursor() { return neverDestroyed<SimCursor>(); }

}  // namespace

CursorRead readCursor() {
  SimCursor& c = cursor();
  std::lock_guard<std::mutex> lock(c.mutex);
  ++c.reads;
  if (c.error != 0) return CursorRead{false, 0, 0, c.error};
  return CursorRead{true, c.x, c.y, 0};
}

namespace sim {

void setCursor(int32_t x, int32_t y) {
  SimCursor& c = cursor();
  std::lock_guard<std::mutex> lock(c.mutex);
  c.x = x;
  c.y = y;
}

void setCursorError(uint32_t error) {
  SimCursor& c = cursor();
  std::lock_guard<std::mutex> lock(c.mutex);
  c.error = error;
}

uint64_t cursorReads() {
  SimCursor& c = cursor();
  std::lock_guard<std::mutex> lock(c.mutex);
  return c.reads;
}

}  // namespace sim

ActivitySensor& activitySensor() { return pointerActivity(); }

}  // namespace corvane
