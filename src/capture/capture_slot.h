// The one capture that may run at a time, of either kind: its running flag, its worker thread
// and the environment that started it. Several environments (Workers) share it, and one may be
// torn down while another starts or stops a capture, so each operation holds its lock.
#pragma once

#include <napi.h>

#include <functional>
#include <mutex>
#include <string>

#include "common/running_flag.h"
#include "common/worker_thread.h"

namespace corvane {

class CaptureSlot {
 public:
  // Stops any capture still running, then sets the flag and starts worker on a new thread. On
  // failure the flag is clear again, nothing runs, and error says why.
  bool start(napi_env owner, std::function<void(const RunningFlag&)> worker, std::string& error);

  // Clears the flag and waits for the worker, which finishes its tick (its pause cut short),
  // closes its grabber and releases its thread-safe function.
  void stop();

  // Stops the capture only if that environment started it: the environment is going away, and
  // its thread-safe function with it.
  void stopIfOwnedBy(napi_env env);

 private:
  void stopLocked();

  std::mutex mutex_;
  RunningFlag running_;
  WorkerThread worker_;
  napi_env owner_ = nullptr;
};

CaptureSlot& captureSlot();

}  // namespace corvane
