// The few sd-bus functions the logind hold calls, found in libsystemd at run time: the module
// then loads where libsystemd is missing, and only the hold is lost there.
#pragma once

#include <dlfcn.h>
#include <systemd/sd-bus.h>

#include <memory>
#include <string>

namespace corvane {

class SdBusLibrary {
 public:
  // Null when the library or one of its functions is missing; why then says which.
  static std::unique_ptr<SdBusLibrary> load(std::string& why) {
    std::unique_ptr<SdBusLibrary> library(new SdBusLibrary);
    library->handle_.reset(dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL));
    if (!library->handle_) {
      const char* error = dlerror();
      why = error != nullptr ? error : "libsystemd.so.0 cannot be loaded";
      return nullptr;
    }
    const bool found = library->find(library->openSystem, "sd_bus_open_system", why) &&
                       library->find(library->flushCloseUnref, "sd_bus_flush_close_unref", why) &&
                       library->find(library->matchSignal, "sd_bus_match_signal", why) &&
                       library->find(library->callMethod, "sd_bus_call_method", why) &&
                       library->find(library->messageRead, "sd_bus_message_read", why) &&
                       library->find(library->messageUnref, "sd_bus_message_unref", why) &&
                       library->find(library->errorFree, "sd_bus_error_free", why) &&
                       library->find(library->process, "sd_bus_process", why) &&
                       library->find(library->wait, "sd_bus_wait", why);
    return found ? std::move(library) : nullptr;
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

  template <typename Function>
  bool find(Function& function, const char* name, std::string& why) {
    function = reinterpret_cast<Function>(dlsym(handle_.get(), name));
    if (function == nullptr) why = std::string(name) + " is missing from libsystemd.so.0";
    return function != nullptr;
  }

  struct Closer {
    void operator()(void* handle) const { dlclose(handle); }
  };
  std::unique_ptr<void, Closer> handle_;
};

}  // namespace corvane
