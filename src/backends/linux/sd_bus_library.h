// The sd-bus functions the logind hold and the portal capture call, found in libsystemd at run
// time: the module then loads where libsystemd is missing, and only what needs it is lost there.
#pragma once

#include <systemd/sd-bus.h>

#include <memory>
#include <string>

#include "backends/linux/shared_library.h"

namespace corvane {

class SdBusLibrary {
 public:
  // Null when the library or one of its functions is missing; why then says which.
  static std::unique_ptr<SdBusLibrary> load(std::string& why) {
    std::unique_ptr<SdBusLibrary> sd(new SdBusLibrary);
    SharedLibrary& library = sd->library_;
    const bool found = library.bind(sd->openSystem, "sd_bus_open_system") &&
                       library.bind(sd->flushCloseUnref, "sd_bus_flush_close_unref") &&
                       library.bind(sd->matchSignal, "sd_bus_match_signal") &&
                       library.bind(sd->callMethod, "sd_bus_call_method") &&
                       library.bind(sd->messageRead, "sd_bus_message_read") &&
                       library.bind(sd->messageUnref, "sd_bus_message_unref") &&
                       library.bind(sd->errorFree, "sd_bus_error_free") &&
                       library.bind(sd->process, "sd_bus_process") && library.bind(sd->wait, "sd_bus_wait");
    if (found) return sd;
    why = library.why();
    return nullptr;
  }

  decltype(&sd_bus_open_system) openSystem = nullptr;
  decltype(&sd_bus_flush_close_unref) flushCloseUnref = nullptr;
  decltype(&sd_bus_match_signal) matchSignal = nullptr;
  decltype(&sd_bus_call_method) callMethod = nullptr;
  decltype(&sd_bus_message_read) messageRead = nullptr;
  decltype(&sd_bus_message_unref) messageUnref = nullptr;
  decltype(&sd_bus_error_free) errorFree = nullptr;
  decltype(&sd_bus_process) process = nullptr;
  decltype(&sd_bus_wait) wait = nullptr;

 private:
  SdBusLibrary() = default;

  SharedLibrary library_{"libsystemd.so.0"};
};

// What the portal capture calls on the session bus: asynchronous calls and a loop of its own, so
// that every wait can be cut short.
class SdBusClientLibrary {
 public:
  // Null when the library or one of its functions is missing; why then says which.
  static std::unique_ptr<SdBusClientLibrary> load(std::string& why) {
    std::unique_ptr<SdBusClientLibrary> sd(new SdBusClientLibrary);
    SharedLibrary& library = sd->library_;
    const bool found =
        library.bind(sd->openUser, "sd_bus_open_user") &&
        library.bind(sd->flushCloseUnref, "sd_bus_flush_close_unref") &&
        library.bind(sd->uniqueName, "sd_bus_get_unique_name") &&
        library.bind(sd->matchSignal, "sd_bus_match_signal") &&
        library.bind(sd->slotUnref, "sd_bus_slot_unref") &&
        library.bind(sd->newMethodCall, "sd_bus_message_new_method_call") &&
        library.bind(sd->append, "sd_bus_message_append") &&
        library.bind(sd->openContainer, "sd_bus_message_open_container") &&
        library.bind(sd->closeContainer, "sd_bus_message_close_container") &&
        library.bind(sd->setExpectReply, "sd_bus_message_set_expect_reply") &&
        library.bind(sd->callAsync, "sd_bus_call_async") && library.bind(sd->send, "sd_bus_send") &&
        library.bind(sd->messageError, "sd_bus_message_get_error") &&
        library.bind(sd->read, "sd_bus_message_read") &&
        library.bind(sd->enterContainer, "sd_bus_message_enter_container") &&
        library.bind(sd->exitContainer, "sd_bus_message_exit_container") &&
        library.bind(sd->peekType, "sd_bus_message_peek_type") &&
        library.bind(sd->skip, "sd_bus_message_skip") && library.bind(sd->messageRef, "sd_bus_message_ref") &&
        library.bind(sd->messageUnref, "sd_bus_message_unref") &&
        library.bind(sd->process, "sd_bus_process") && library.bind(sd->fd, "sd_bus_get_fd") &&
        library.bind(sd->events, "sd_bus_get_events") && library.bind(sd->timeout, "sd_bus_get_timeout");
    if (found) return sd;
    why = library.why();
    return nullptr;
  }

  decltype(&sd_bus_open_user) openUser = nullptr;
  decltype(&sd_bus_flush_close_unref) flushCloseUnref = nullptr;
  decltype(&sd_bus_get_unique_name) uniqueName = nullptr;
  decltype(&sd_bus_match_signal) matchSignal = nullptr;
  decltype(&sd_bus_slot_unref) slotUnref = nullptr;
  decltype(&sd_bus_message_new_method_call) newMethodCall = nullptr;
  decltype(&sd_bus_message_append) append = nullptr;
  decltype(&sd_bus_message_open_container) openContainer = nullptr;
  decltype(&sd_bus_message_close_container) closeContainer = nullptr;
  decltype(&sd_bus_message_set_expect_reply) setExpectReply = nullptr;
  decltype(&sd_bus_call_async) callAsync = nullptr;
  decltype(&sd_bus_send) send = nullptr;
  decltype(&sd_bus_message_get_error) messageError = nullptr;
  decltype(&sd_bus_message_read) read = nullptr;
  decltype(&sd_bus_message_enter_container) enterContainer = nullptr;
  decltype(&sd_bus_message_exit_container) exitContainer = nullptr;
  decltype(&sd_bus_message_peek_type) peekType = nullptr;
  decltype(&sd_bus_message_skip) skip = nullptr;
  decltype(&sd_bus_message_ref) messageRef = nullptr;
  decltype(&sd_bus_message_unref) messageUnref = nullptr;
  decltype(&sd_bus_process) process = nullptr;
  decltype(&sd_bus_get_fd) fd = nullptr;
  decltype(&sd_bus_get_events) events = nullptr;
  decltype(&sd_bus_get_timeout) timeout = nullptr;

 private:
  SdBusClientLibrary() = default;

  SharedLibrary library_{"libsystemd.so.0"};
};

}  // namespace corvane
