// The few sd-bus functions the logind hold calls, found in libsystemd at run time: the module
// then loads where libsystemd is missing, and only the hold is lost there.
#pragma once

#include <systemd/sd-bus.h>

#include <memory>
#include <string>

#include "common/shared_library.h"

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

}  // namespace corvane
