// Room for the items that wait for the JavaScript thread. A producer takes room before it queues
// an item; the JavaScript thread gives it back once the item has been delivered and the event loop
// has had a turn. Without it a slow callback would let items pile up without end, and Node.js would
// deliver them in one go, starving the application's own timers and I/O.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace corvane {

class QueueRoom {
 public:
  explicit QueueRoom(size_t capacity) : capacity_(capacity) {}

  // Waits for room. Once stopped it waits no more and takes room over the capacity: a stop runs on
  // the JavaScript thread, which alone makes room, so waiting then could never end; and the item of
  // the tick a stop caught still reaches the callback.
  void take() {
    std::unique_lock<std::mutex> lock(mutex_);
    room_.wait(lock, [this] { return stopped_ || taken_ < capacity_; });
    ++taken_;
  }

  // Takes room when there is some, never waiting.
  bool tryTake() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (taken_ >= capacity_) return false;
    ++taken_;
    return true;
  }

  void give() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (taken_ > 0) --taken_;
    room_.notify_all();
  }

  // Ends every wait, now and later.
  void stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
    room_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable room_;
  const size_t capacity_;
  size_t taken_ = 0;
  bool stopped_ = false;
};

}  // namespace corvane
