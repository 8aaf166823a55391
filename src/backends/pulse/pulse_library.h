// libpulse, loaded at run time: the module must load on a desktop without it, where the stream
// reports so instead. Its headers give the types; nothing of it is linked.
#pragma once

#include <pulse/pulseaudio.h>

#include "backends/linux/runtime_library.h"

namespace corvane {

struct PulseLibrary {
  static constexpr const char* kSoname = "libpulse.so.0";
  bool bind(SharedLibrary& library);

  decltype(&pa_mainloop_new) mainloopNew = nullptr;
  decltype(&pa_mainloop_free) mainloopFree = nullptr;
  decltype(&pa_mainloop_iterate) mainloopIterate = nullptr;
  decltype(&pa_mainloop_get_api) mainloopApi = nullptr;
  decltype(&pa_context_new) contextNew = nullptr;
  decltype(&pa_context_unref) contextUnref = nullptr;
  decltype(&pa_context_connect) contextConnect = nullptr;
  decltype(&pa_context_disconnect) contextDisconnect = nullptr;
  decltype(&pa_context_get_state) contextState = nullptr;
  decltype(&pa_context_errno) contextErrno = nullptr;
  decltype(&pa_context_set_subscribe_callback) contextOnEvent = nullptr;
  decltype(&pa_context_subscribe) contextSubscribe = nullptr;
  decltype(&pa_context_get_server_info) contextServerInfo = nullptr;
  decltype(&pa_operation_unref) operationUnref = nullptr;
  decltype(&pa_stream_new) streamNew = nullptr;
  decltype(&pa_stream_unref) streamUnref = nullptr;
  decltype(&pa_stream_connect_record) streamConnectRecord = nullptr;
  decltype(&pa_stream_disconnect) streamDisconnect = nullptr;
  decltype(&pa_stream_get_state) streamState = nullptr;
  decltype(&pa_stream_set_read_callback) streamOnRead = nullptr;
  decltype(&pa_stream_set_moved_callback) streamOnMoved = nullptr;
  decltype(&pa_stream_peek) streamPeek = nullptr;
  decltype(&pa_stream_drop) streamDrop = nullptr;
  decltype(&pa_stream_cork) streamCork = nullptr;
};

}  // namespace corvane
