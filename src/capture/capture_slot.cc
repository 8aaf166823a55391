#include "capture/capture_slot.h"

namespace corvane {

bool CaptureSlot::start(napi_env owner, std::function<void(const RunningFlag&)> worker, std::string& error) {
  std::lock_guard<std::mutex> lock(mutex_);
  stopLocked();
  running_.set();
  if (!worker_.start([this, worker = std::move(worker)] { worker(running_); }, error)) {
    running_.clear();
    return false;
  }
  owner_ = owner;
  return true;
}

void CaptureSlot::stop() {
  std::lock_guard<std::mutex> lock(mutex_);
  stopLocked();
}

void CaptureSlot::stopIfOwnedBy(napi_env env) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (worker_.running() && owner_ == env) stopLocked();
}

// The worker never takes this lock, so joining it here cannot deadlock.
void CaptureSlot::stopLocked() {
  running_.clear();
  worker_.join();
  owner_ = nullptr;
}

// Never destroyed: a worker still running when the process exits goes on until the process ends,
// and must find its slot intact. Joining it from a static destructor is no option either: on
// Windows the process has already killed its threads there, in whatever lock they held.
CaptureSlot& captureSlot() {
  static CaptureSlot& slot = *new CaptureSlot;
  return slot;
}

}  // namespace corvane
