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
const wl_interface* getIdleNotificationTypes[3] = {};

extern const wl_interface xdgOutputInterface;
extern const wl_interface screencopyFrameInterface;
extern const wl_interface idleNotificationInterface;

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

const wl_message idleNotifierRequests[] = {
    {"destroy", "", noTypes},
    {"get_idle_notification", "nuo", getIdleNotificationTypes},
};
const wl_message idleNotificationRequests[] = {{"destroy", "", noTypes}};
const wl_message idleNotificationEvents[] = {{"idled", "", noTypes}, {"resumed", "", noTypes}};

const wl_interface xdgOutputManagerInterface = {"zxdg_output_manager_v1", 3, 2,
                                                xdgOutputManagerRequests, 0, nullptr};
const wl_interface xdgOutputInterface = {"zxdg_output_v1", 3, 1, xdgOutputRequests, 5, xdgOutputEvents};
const wl_interface screencopyManagerInterface = {"zwlr_screencopy_manager_v1", 3, 3,
                                                 screencopyManagerRequests,    0, nullptr};
const wl_interface screencopyFrameInterface = {"zwlr_screencopy_frame_v1", 3, 3,
                                               screencopyFrameRequests,    7, screencopyFrameEvents};

const wl_interface idleNotifierInterface = {"ext_idle_notifier_v1", 1, 2, idleNotifierRequests, 0, nullptr};
const wl_interface idleNotificationInterface = {"ext_idle_notification_v1", 1, 1,
                                                idleNotificationRequests,   2, idleNotificationEvents};

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
    getIdleNotificationTypes[0] = &idleNotificationInterface;
    getIdleNotificationTypes[2] = library.seatInterface;
  });
  static const WaylandExtensions extensions{&xdgOutputManagerInterface,  &xdgOutputInterface,
                                            &screencopyManagerInterface, &screencopyFrameInterface,
                                            &idleNotifierInterface,      &idleNotificationInterface};
  return extensions;
}

}  // namespace corvane
