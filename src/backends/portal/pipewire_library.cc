#include "backends/portal/pipewire_library.h"

#include <mutex>

#include "backends/linux/shared_library.h"

namespace corvane {
namespace {

struct Loaded {
  SharedLibrary library{"libpipewire-0.3.so.0"};
  PipeWireLibrary pw;
  bool found = false;
};

Loaded& load() {
  auto& loaded = *new Loaded;
  SharedLibrary& l = loaded.library;
  PipeWireLibrary& pw = loaded.pw;
  loaded.found =
      l.bind(pw.init, "pw_init") && l.bind(pw.loopNew, "pw_thread_loop_new") &&
      l.bind(pw.loopGet, "pw_thread_loop_get_loop") && l.bind(pw.loopStart, "pw_thread_loop_start") &&
      l.bind(pw.loopStop, "pw_thread_loop_stop") && l.bind(pw.loopDestroy, "pw_thread_loop_destroy") &&
      l.bind(pw.lock, "pw_thread_loop_lock") && l.bind(pw.unlock, "pw_thread_loop_unlock") &&
      l.bind(pw.contextNew, "pw_context_new") && l.bind(pw.contextDestroy, "pw_context_destroy") &&
      l.bind(pw.connectFd, "pw_context_connect_fd") && l.bind(pw.disconnect, "pw_core_disconnect") &&
      l.bind(pw.propertiesNew, "pw_properties_new") && l.bind(pw.streamNew, "pw_stream_new") &&
      l.bind(pw.addListener, "pw_stream_add_listener") && l.bind(pw.streamConnect, "pw_stream_connect") &&
      l.bind(pw.updateParams, "pw_stream_update_params") && l.bind(pw.dequeue, "pw_stream_dequeue_buffer") &&
      l.bind(pw.queue, "pw_stream_queue_buffer") && l.bind(pw.streamDestroy, "pw_stream_destroy") &&
      l.bind(pw.stateName, "pw_stream_state_as_string") && l.bind(pw.state, "pw_stream_get_state");
  if (loaded.found) pw.init(nullptr, nullptr);
  return loaded;
}

}  // namespace

const PipeWireLibrary* pipeWireLibrary(std::string& why) {
  // Never freed: a stream of an ending process may still be running on PipeWire's own thread.
  static Loaded& loaded = load();
  if (loaded.found) return &loaded.pw;
  why = loaded.library.why();
  return nullptr;
}

}  // namespace corvane
