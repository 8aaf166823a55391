#include "backends/pulse/pulse_library.h"

namespace corvane {

PulseLibrary::PulseLibrary() {
  loaded_ = library_.bind(mainloopNew, "pa_mainloop_new") &&
            library_.bind(mainloopFree, "pa_mainloop_free") &&
            library_.bind(mainloopIterate, "pa_mainloop_iterate") &&
            library_.bind(mainloopApi, "pa_mainloop_get_api") &&
            library_.bind(contextNew, "pa_context_new") && library_.bind(contextUnref, "pa_context_unref") &&
            library_.bind(contextConnect, "pa_context_connect") &&
            library_.bind(contextDisconnect, "pa_context_disconnect") &&
            library_.bind(contextState, "pa_context_get_state") &&
            library_.bind(contextErrno, "pa_context_errno") &&
            library_.bind(contextOnEvent, "pa_context_set_subscribe_callback") &&
            library_.bind(contextSubscribe, "pa_context_subscribe") &&
            library_.bind(contextServerInfo, "pa_context_get_server_info") &&
            library_.bind(operationUnref, "pa_operation_unref") &&
            library_.bind(streamNew, "pa_stream_new") && library_.bind(streamUnref, "pa_stream_unref") &&
            library_.bind(streamConnectRecord, "pa_stream_connect_record") &&
            library_.bind(streamDisconnect, "pa_stream_disconnect") &&
            library_.bind(streamState, "pa_stream_get_state") &&
            library_.bind(streamOnRead, "pa_stream_set_read_callback") &&
            library_.bind(streamOnMoved, "pa_stream_set_moved_callback") &&
            library_.bind(streamPeek, "pa_stream_peek") && library_.bind(streamDrop, "pa_stream_drop") &&
            library_.bind(streamCork, "pa_stream_cork");
}

}  // namespace corvane
