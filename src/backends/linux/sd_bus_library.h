// The sd-bus functions that the logind hold (on the system bus) and the portal capture (on the
// session bus, asynchronous calls on a loop of its own, so that every wait can be cut short)
// call, found in libsystemd at run time.
#pragma once

#include <systemd/sd-bus.h>

#include <memory>

#include "backends/linux/runtime_library.h"

namespace corvane {

struct SdBusLibrary {
  static constexpr const char* kSoname = "libsystemd.so.0";

  bool bind(SharedLibrary& library) {
    return library.bind(openSystem, "sd_bus_open_system") && library.bind(openUser, "sd_bus_open_user") &&
           library.bind(flushCloseUnref, "sd_bus_flush_close_unref") &&
           library.bind(uniqueName, "sd_bus_get_unique_name") &&
           library.bind(matchSignal, "sd_bus_match_signal") && library.bind(slotUnref, "sd_bus_slot_unref") &&
           library.bind(callMethod, "sd_bus_call_method") && library.bind(call, "sd_bus_call") &&
           library.bind(callAsync, "sd_bus_call_async") && library.bind(send, "sd_bus_send") &&
           library.bind(newMethodCall, "sd_bus_message_new_method_call") &&
           library.bind(append, "sd_bus_message_append") &&
           library.bind(openContainer, "sd_bus_message_open_container") &&
           library.bind(closeContainer, "sd_bus_message_close_container") &&
           library.bind(setExpectReply, "sd_bus_message_set_expect_reply") &&
           library.bind(messageError, "sd_bus_message_get_error") &&
           library.bind(messageRead, "sd_bus_message_read") &&
           library.bind(enterContainer, "sd_bus_message_enter_container") &&
           library.bind(exitContainer, "sd_bus_message_exit_container") &&
           library.bind(peekType, "sd_bus_message_peek_type") && library.bind(skip, "sd_bus_message_skip") &&
           library.bind(messageRef, "sd_bus_message_ref") &&
           library.bind(messageUnref, "sd_bus_message_unref") &&
           library.bind(errorFree, "sd_bus_error_free") && library.bind(process, "sd_bus_process") &&
           library.bind(wait, "sd_bus_wait") && library.bind(fd, "sd_bus_get_fd") &&
           library.bind(events, "sd_bus_get_events") && library.bind(timeout, "sd_bus_get_timeout");
  }

  decltype(&sd_bus_open_system) openSystem = nullptr;
  decltype(&sd_bus_open_user) openUser = nullptr;
  decltype(&sd_bus_flush_close_unref) flushCloseUnref = nullptr;
  decltype(&sd_bus_get_unique_name) uniqueName = nullptr;
  decltype(&sd_bus_match_signal) matchSignal = nullptr;
  decltype(&sd_bus_slot_unref) slotUnref = nullptr;
  decltype(&sd_bus_call_method) callMethod = nullptr;
  decltype(&sd_bus_call) call = nullptr;
  decltype(&sd_bus_call_async) callAsync = nullptr;
  decltype(&sd_bus_send) send = nullptr;
  decltype(&sd_bus_message_new_method_call) newMethodCall = nullptr;
  decltype(&sd_bus_message_append) append = nullptr;
  decltype(&sd_bus_message_open_container) openContainer = nullptr;
  decltype(&sd_bus_message_close_container) closeContainer = nullptr;
  decltype(&sd_bus_message_set_expect_reply) setExpectReply = nullptr;
  decltype(&sd_bus_message_get_error) messageError = nullptr;
  decltype(&sd_bus_message_read) messageRead = nullptr;
  decltype(&sd_bus_message_enter_container) enterContainer = nullptr;
  decltype(&sd_bus_message_exit_container) exitContainer = nullptr;
  decltype(&sd_bus_message_peek_type) peekType = nullptr;
  decltype(&sd_bus_message_skip) skip = nullptr;
  decltype(&sd_bus_message_ref) messageRef = nullptr;
  decltype(&sd_bus_message_unref) messageUnref = nullptr;
  decltype(&sd_bus_error_free) errorFree = nullptr;
  decltype(&sd_bus_process) process = nullptr;
  decltype(&sd_bus_wait) wait = nullptr;
  decltype(&sd_bus_get_fd) fd = nullptr;
  decltype(&sd_bus_get_events) events = nullptr;
  decltype(&sd_bus_get_timeout) timeout = nullptr;
};

// Owners of sd-bus objects, each given back through the loaded library's function.
struct SdBusCloser {
  decltype(&sd_bus_flush_close_unref) close;
  void operator()(sd_bus* bus) const { close(bus); }
};
struct SdBusSlotUnref {
  decltype(&sd_bus_slot_unref) unref;
  void operator()(sd_bus_slot* slot) const { unref(slot); }
};
struct SdBusMessageUnref {
  decltype(&sd_bus_message_unref) unref;
  void operator()(sd_bus_message* message) const { unref(message); }
};
using SdBus = std::unique_ptr<sd_bus, SdBusCloser>;
using SdBusSlot = std::unique_ptr<sd_bus_slot, SdBusSlotUnref>;
using SdBusMessage = std::unique_ptr<sd_bus_message, SdBusMessageUnref>;

// A call's error, freed when it goes.
struct SdBusError {
  explicit SdBusError(const SdBusLibrary& library) : free(library.errorFree) {}
  SdBusError(const SdBusError&) = delete;
  SdBusError& operator=(const SdBusError&) = delete;
  ~SdBusError() { free(&error); }
  decltype(&sd_bus_error_free) free;
  sd_bus_error error = SD_BUS_ERROR_NULL;
};

}  // namespace corvane
