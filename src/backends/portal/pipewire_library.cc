#include "backends/portal/pipewire_library.h"

namespace corvane {

bool PipeWireLibrary::bind(SharedLibrary& library) {
  const bool found =
      library.bind(init, "pw_init") && library.bind(loopNew, "pw_thread_loop_new") &&
      library.bind(loopGet, "pw_thread_loop_get_loop") && library.bind(loopStart, "pw_thread_loop_start") &&
      library.bind(loopStop, "pw_thread_loop_stop") && library.bind(loopDestroy, "pw_thread_loop_destroy") &&
      library.bind(lock, "pw_thread_loop_lock") && library.bind(unlock, "pw_thread_loop_unlock") &&
      library.bind(contextNew, "pw_context_new") && library.bind(contextDestroy, "pw_context_destroy") &&
      library.bind(connectFd, "pw_context_connect_fd") && library.bind(disconnect, "pw_core_disconnect") &&
      library.bind(propertiesNew, "pw_properties_new") && library.bind(streamNew, "pw_stream_new") &&
      library.bind(addListener, "pw_stream_add_listener") &&
      library.bind(streamConnect, "pw_stream_connect") &&
      library.bind(updateParams, "pw_stream_update_params") &&
      library.bind(dequeue, "pw_stream_dequeue_buffer") && library.bind(queue, "pw_stream_queue_buffer") &&
      library.bind(streamDestroy, "pw_stream_destroy") &&
      library.bind(stateName, "pw_stream_state_as_string") && library.bind(state, "pw_stream_get_state");
  if (found) init(nullptr, nullptr);
  return found;
}

}  // namespace corvane
