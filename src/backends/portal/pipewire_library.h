// The PipeWire functions the portal capture calls, found in libpipewire-0.3 at run time: the
// module then loads where PipeWire is missing, and only the portal capture is lost there.
#pragma once

#include <pipewire/pipewire.h>

#include <string>

#include "backends/linux/runtime_library.h"

namespace corvane {

// Kept for the process's life: PipeWire's global state outlives any one stream.
struct PipeWireLibrary {
  static constexpr const char* kSoname = "libpipewire-0.3.so.0";
  // Binds every function, then starts PipeWire once.
  bool bind(SharedLibrary& library);

  decltype(&pw_init) init = nullptr;
  decltype(&pw_thread_loop_new) loopNew = nullptr;
  decltype(&pw_thread_loop_get_loop) loopGet = nullptr;
  decltype(&pw_thread_loop_start) loopStart = nullptr;
  decltype(&pw_thread_loop_stop) loopStop = nullptr;
  decltype(&pw_thread_loop_destroy) loopDestroy = nullptr;
  decltype(&pw_thread_loop_lock) lock = nullptr;
  decltype(&pw_thread_loop_unlock) unlock = nullptr;
  decltype(&pw_context_new) contextNew = nullptr;
  decltype(&pw_context_destroy) contextDestroy = nullptr;
  decltype(&pw_context_connect_fd) connectFd = nullptr;
  decltype(&pw_core_disconnect) disconnect = nullptr;
  decltype(&pw_properties_new) propertiesNew = nullptr;
  decltype(&pw_stream_new) streamNew = nullptr;
  decltype(&pw_stream_add_listener) addListener = nullptr;
  decltype(&pw_stream_connect) streamConnect = nullptr;
  decltype(&pw_stream_update_params) updateParams = nullptr;
  decltype(&pw_stream_dequeue_buffer) dequeue = nullptr;
  decltype(&pw_stream_queue_buffer) queue = nullptr;
  decltype(&pw_stream_destroy) streamDestroy = nullptr;
  decltype(&pw_stream_state_as_string) stateName = nullptr;
  decltype(&pw_stream_get_state) state = nullptr;
};

}  // namespace corvane
