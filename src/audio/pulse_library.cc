#include "audio/pulse_library.h"

#include <dlfcn.h>

namespace corvane {
namespace {

template <typename Function>
bool bind(void* handle, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(handle, name));
  return function != nullptr;
}

}  // namespace

PulseLibrary::PulseLibrary() : handle_(dlopen("libpulse.so.0", RTLD_NOW | RTLD_LOCAL)) {
  if (handle_ == nullptr) return;
  const bool bound =
      bind(handle_, "pa_threaded_mainloop_new", mainloopNew) &&
      bind(handle_, "pa_threaded_mainloop_free", mainloopFree) &&
      bind(handle_, "pa_threaded_mainloop_start", mainloopStart) &&
      bind(handle_, "pa_threaded_mainloop_stop", mainloopStop) &&
      bind(handle_, "pa_threaded_mainloop_lock", mainloopLock) &&
      bind(handle_, "pa_threaded_mainloop_unlock", mainloopUnlock) &&
      bind(handle_, "pa_threaded_mainloop_wait", mainloopWait) &&
      bind(handle_, "pa_threaded_mainloop_signal", mainloopSignal) &&
      bind(handle_, "pa_threaded_mainloop_get_api", mainloopApi) &&
      bind(handle_, "pa_context_new", contextNew) && bind(handle_, "pa_context_unref", contextUnref) &&
      bind(handle_, "pa_context_connect", contextConnect) &&
      bind(handle_, "pa_context_disconnect", contextDisconnect) &&
      bind(handle_, "pa_context_get_state", contextState) &&
      bind(handle_, "pa_context_errno", contextErrno) &&
      bind(handle_, "pa_context_set_state_callback", contextOnState) &&
      bind(handle_, "pa_context_set_subscribe_callback", contextOnEvent) &&
      bind(handle_, "pa_context_subscribe", contextSubscribe) &&
      bind(handle_, "pa_context_get_server_info", contextServerInfo) &&
      bind(handle_, "pa_operation_unref", operationUnref) && bind(handle_, "pa_stream_new", streamNew) &&
      bind(handle_, "pa_stream_unref", streamUnref) &&
      bind(handle_, "pa_stream_connect_record", streamConnectRecord) &&
      bind(handle_, "pa_stream_disconnect", streamDisconnect) &&
      bind(handle_, "pa_stream_get_state", streamState) &&
      bind(handle_, "pa_stream_set_state_callback", streamOnState) &&
      bind(handle_, "pa_stream_set_read_callback", streamOnRead) &&
      bind(handle_, "pa_stream_set_moved_callback", streamOnMoved) &&
      bind(handle_, "pa_stream_peek", streamPeek) && bind(handle_, "pa_stream_drop", streamDrop);
  if (bound) return;
  dlclose(handle_);
  handle_ = nullptr;
}

// libpulse is marked NODELETE: this only drops the reference.
PulseLibrary::~PulseLibrary() {
  if (handle_ != nullptr) dlclose(handle_);
}

}  // namespace corvane
