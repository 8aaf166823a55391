// The audio level is read from Windows Core Audio; other platforms do not have it yet, and say so.
#include "audio/audio_stream.h"
#include "common/raise.h"

namespace corvane {

Napi::Value startStream(const Napi::CallbackInfo& info) {
  raiseError(info.Env(),
             "startStream is not supported on this platform: the audio level is only read on Windows");
  return info.Env().Undefined();
}

Napi::Value stopStream(const Napi::CallbackInfo& info) {
  raiseError(info.Env(),
             "stopStream is not supported on this platform: the audio level is only read on Windows");
  return info.Env().Undefined();
}

void stopStreamsOwnedBy(napi_env) {}

}  // namespace corvane
