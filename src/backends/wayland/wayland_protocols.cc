#include "backends/wayland/wayland_protocols.h"

#include <mutex>

namespace corvane {
namespace {

// Types of each message's arguments: the interface of every object and new_id argument, null
// for the others. The core ones are filled in at run time.
const wl_interface* noTypes[7] = {};
const wl_interface* getXdgOutputTypes[2] = {};
const wl_interface* captureOutputTypes[3] = {};
const wl_interface* captureRegionTypes[7] = {};
const wl_interface* copyTypes[1] = {};

extern const wl_interface xdgOutputInterface;
extern const wl_interface screencopyFrameInterface;

const wl_message xdgOutputManagerRequests[] = {
    {"destroy", "", noTypes},
    {"get_xdg_output", "no", getXdgOutputTypes},
};
const wl_message xdgOutputRequests[] = {{"destroy", "", noTypes}};
const wl_message xdgOutputEvents[] = {
    {"logical_position", "ii", noTypes},
    {"logical_size", "ii", noTypes},
    {"done", "", noTypes},
    {"name", "2s", noTypes},
    {"description", "2s", noTypes},
};
const wl_message screencopyManagerRequests[] = {
    {"capture_output", "nio", captureOutputTypes},
    {"capture_output_region", "nioiiii", captureRegionTypes},
    {"destroy", "", noTypes},
};
const wl_message screencopyFrameRequests[] = {
    {"copy", "o", copyTypes},
    {"destroy", "", noTypes},
    {"copy_with_damage", "2o", copyTypes},
};
const wl_message screencopyFrameEvents[] = {
    {"buffer", "uuuu", noTypes},   {"flags", "u", noTypes},      {"ready", "uuu", noTypes},
    {"failed", "", noTypes},       {"damage", "2uuuu", noTypes}, {"linux_dmabuf", "3uuu", noTypes},
    {"buffer_done", "3", noTypes},
};

const wl_interface xdgOutputManagerInterface = {"zxdg_output_manager_v1", 3, 2,
                                                xdgOutputManagerRequests, 0, nullptr};
const wl_interface xdgOutputInterface = {"zxdg_output_v1", 3, 1, xdgOutputRequests, 5, xdgOutputEvents};
const wl_interface screencopyManagerInterface = {"zwlr_screencopy_manager_v1", 3, 3,
                                                 screencopyManagerRequests,    0, nullptr};
const wl_interface screencopyFrameInterface = {"zwlr_screencopy_frame_v1", 3, 3,
                                               screencopyFrameRequests,    7, screencopyFrameEvents};

}  // namespace

const WaylandExtensions& waylandExtensions(const WaylandLibrary& library) {
  static std::once_flag filled;
  std::call_once(filled, [&] {
    getXdgOutputTypes[0] = &xdgOutputInterface;
    getXdgOutputTypes[1] = library.outputInterface;
    captureOutputTypes[0] = &screencopyFrameInterface;
    captureOutputTypes[2] = library.outputInterface;
    captureRegionTypes[0] = &screencopyFrameInterface;
    captureRegionTypes[2] = library.outputInterface;
    copyTypes[0] = library.bufferInterface;
  });
  static const WaylandExtensions extensions{&xdgOutputManagerInterface, &xdgOutputInterface,
                                            &screencopyManagerInterface, &screencopyFrameInterface};
  return extensions;
}

}  // namespace corvane
