#include "common/never_destroyed.h"
#include "mouse/activity.h"
#include "mouse/cursor.h"

namespace corvane {
namespace {

class PointerActivity final : public ActivitySensor {
 public:
  ActivityRead look() override {
    const CursorRead read = readCursor();
    if (!read.ok) return ActivityRead{false, false, read.error};
    const bool moved = read.x != lastX_ || read.y != lastY_;
    lastX_ = read.x;
    lastY_ = read.y;
    return ActivityRead{true, moved, 0};
  }

 private:
  int32_t lastX_ = 0;
  int32_t lastY_ = 0;
};

}  // namespace

ActivitySensor& pointerActivity() { return neverDestroyed<PointerActivity>(); }

}  // namespace corvane
