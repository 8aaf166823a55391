#pragma once

#include "capture/gdi_platform.h"
#include "capture/grabber.h"

namespace corvane {

// A display context, a memory context and a bitmap selected into it, opened once and kept for
// every grab; released in reverse order, with the memory context's first object selected back
// before the bitmap is deleted.
std::unique_ptr<DisplayGrabber> openGdiGrabber(GdiPlatform& gdi, const std::string& deviceName, int32_t width,
                                               int32_t height);
// One such grabber per display, each with its own buffers.
std::vector<std::unique_ptr<DisplayGrabber>> openGdiGrabbers(GdiPlatform& gdi,
                                                             const std::vector<DisplayRequest>& displays);

}  // namespace corvane
