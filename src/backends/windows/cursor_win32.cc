#include <windows.h>

#include "mouse/activity.h"
#include "mouse/cursor.h"

namespace corvane {

CursorRead readCursor() {
  POINT point;
  if (!GetCursorPos(&point)) return CursorRead{false, 0, 0, GetLastError()};
  return CursorRead{true, point.x, point.y, 0};
}

ActivitySensor& activitySensor() { return pointerActivity(); }

}  // namespace corvane
