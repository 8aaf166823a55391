#include "backends/pulse/pulse_library.h"

namespace corvane {

bool PulseLibrary::bind(SharedLibrary& library) {
  return library.bind(mainloopNew, "pa_mainloop_new") && library.bind(mainloopFree, "pa_mainloop_free") &&
         library.bind(mainloopIterate, "pa_mainloop_iterate") &&
         library.bind(mainloopApi, "pa_mainloop_get_api") && library.bind(contextNew, "pa_context_new") &&
         library.bind(contextUnref, "pa_context_unref") &&
         library.bind(contextConnect, "pa_context_connect") &&
         library.bind(contextDisconnect, "pa_context_disconnect") &&
         library.bind(contextState, "pa_context_get_state") &&
         library.bind(contextErrno, "pa_context_errno") &&
         library.bind(contextOnEvent, "pa_context_set_subscribe_callback") &&
         library.bind(contextSubscribe, "pa_context_subscribe") &&
         library.bind(contextServerInfo, "pa_context_get_server_info") &&
         library.bind(operationUnref, "pa_operation_unref") && library.bind(streamNew, "pa_stream_new") &&
         library.bind(streamUnref, "pa_stream_unref") &&
         library.bind(streamConnectRecord, "pa_stream_connect_record") &&
         library.bind(streamDisconnect, "pa_stream_disconnect") &&
         library.bind(streamState, "pa_stream_get_state") &&
         library.bind(streamOnRead, "pa_stream_set_read_callback") &&
         library.bind(streamOnMoved, "pa_stream_set_moved_callback") &&
         library.bind(streamPeek, "pa_stream_peek") && library.bind(streamDrop, "pa_stream_drop") &&
         library.bind(streamCork, "pa_stream_cork");
}

}  // namespace corvane
