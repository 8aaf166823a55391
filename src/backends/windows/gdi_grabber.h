#pragma once

#include "backends/windows/gdi_platform.h"
#include "capture/grabber.h"

namespace corvane {

// A display context, a memory context and a bitmap selected into it, opened once and kept for
// every grab; released in reverse order, with the memory context's first object selected back
// before the bitmap is deleted.
// At rates of 2 and more, a second memory context and a DIB section of the sample grid's height
// too, for reading only the sampled rows where that is cheaper.
std::unique_ptr<DisplayGrabber> openGdiGrabber(GdiPlatform& gdi, const DisplayRequest& display,
                                               uint64_t samplingRate);
// One such grabber per display, each with its own buffers.
std::vector<std::unique_ptr<DisplayGrabber>> openGdiGrabbers(GdiPlatform& gdi,
                                                             const std::vector<DisplayRequest>& displays,
                                                             uint64_t samplingRate);

}  // namespace corvane
