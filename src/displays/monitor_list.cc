#include "displays/monitor_list.h"

namespace corvane {

AspectRatio reduceAspectRatio(int32_t width, int32_t height) {
  // 64-bit, so that INT32_MIN % -1 and INT32_MIN / -1 cannot overflow.
  int64_t a = width;
  int64_t b = height;
  while (b != 0) {
    const int64_t rest = a % b;
    a = b;
    b = rest;
  }
  if (a == 0) return {0, 0};
  return {width / a, height / a};
}

}  // namespace corvane
