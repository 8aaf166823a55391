#include "common/callback_queue.h"

#include <atomic>

namespace corvane {
namespace {

std::atomic<size_t> queuesLive{0};

}  // namespace

void countQueueMade() { queuesLive.fetch_add(1); }
void countQueueFinalized() { queuesLive.fetch_sub(1); }
size_t liveCallbackQueues() { return queuesLive.load(); }

}  // namespace corvane
