// A service's running flag, and the pause between its ticks, which ends as soon as the flag is
// cleared so that a stop never waits out a long interval.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace corvane {

class RunningFlag {
 public:
  void set() { running_.exchange(true); }

  void clear() {
    running_.exchange(false);
    // Taking the lock orders the clear before any pause that has not yet started waiting.
    std::lock_guard<std::mutex> lock(mutex_);
    wake_.notify_all();
  }

  bool isSet() const { return running_.load(); }

  // Sleeps milliseconds on a steady clock, resuming after early wakes; returns at once for 0 or
  // when the flag is clear.
  void pause(uint64_t milliseconds) const {
    if (milliseconds == 0) return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait_until(lock, deadline, [this] { return !running_.load(); });
  }

 private:
  std::atomic<bool> running_{false};
  mutable std::mutex mutex_;
  mutable std::condition_variable wake_;
};

}  // namespace corvane
