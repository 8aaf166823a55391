#include "capture/capture_slot.h"

namespace corvane {

bool CaptureSlot::start(napi_env owner, std::function<void(const RunningFlag&)> worker, std::string& error) {
  running_.set();
  if (!worker_.start([this, worker = std::move(worker)] { worker(running_); }, error)) {
    running_.clear();
    return false;
  }
  owner_ = owner;
  return true;
}

void CaptureSlot::stop() {
  running_.clear();
  worker_.join();
  owner_ = nullptr;
}

void CaptureSlot::stopIfOwnedBy(napi_env env) {
  if (worker_.running() && owner_ == env) stop();
}

CaptureSlot& captureSlot() {
  static CaptureSlot slot;
  return slot;
}

}  // namespace corvane
