// The loop of a service's worker: one tick, its item posted, a pause that a stop cuts short.
#pragma once

#include <cstdint>
#include <memory>

#include "common/callback_queue.h"
#include "common/running_flag.h"
#include "common/tick_phases.h"

namespace corvane {

// What one tick gives: an item for the callback, or none, and the pause that follows.
template <typename Item>
struct Tick {
  std::unique_ptr<Item> item;
  uint64_t pauseMs = 0;
};

// Runs ticks until the flag is cleared, the queue closes, or onFailedPost (told Refused or
// Closing) says to end; then gives up the queue, as the worker's last act with it.
template <typename Queue, typename NextTick, typename OnFailedPost>
void runTicks(const RunningFlag& running, Queue& queue, NextTick nextTick, OnFailedPost onFailedPost) {
  while (running.isSet()) {
    auto tick = nextTick();
    if (tick.item) {
      Posted posted;
      {
        PhaseTimer timer(TickPhase::Queue);
        posted = queue.post(std::move(tick.item));
      }
      if (posted != Posted::Queued && (!onFailedPost(posted) || posted == Posted::Closing)) break;
    }
    running.pause(tick.pauseMs);
  }
  queue.release();
}

}  // namespace corvane
