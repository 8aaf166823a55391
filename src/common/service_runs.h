// The runs of one service: at most one current run, and stopped runs whose workers may still be
// finishing a tick. Each run has its own flag, so a worker of a stopped run never carries on into
// a newer one, and the environment that started it, since its queue dies with that environment.
// Environments (Workers) share a service, so every operation holds the lock. The workers never
// take it, so joining them under it cannot deadlock.
//
// The order every service keeps:
// - start: the queue is made first; the run's flag is set; the worker starts. The worker owns the
//   queue's reference and releases it as its last act.
// - stop: the flag is cleared, which also ends the worker's pause at once, and its queue's room is
//   stopped, which ends a wait for room; the worker may finish the tick it is in.
// - an environment going away: its runs are stopped and their workers joined before its queues
//   are freed, so no worker outlives the queue it posts to, nor the module's code.
#pragma once

#include <napi.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/queue_room.h"
#include "common/running_flag.h"

namespace corvane {

// How a start went. The services report it; the exported functions raise its JavaScript error.
enum class Started { Yes, Busy, NoQueue, NoThread };

struct StartOutcome {
  Started started = Started::Yes;
  std::string error;  // why no thread could be started
};

// A service's words for a failed start: the error of a start while it runs, the queue's resource
// name, and what its thread does.
struct StartErrors {
  const char* busy;
  const char* resourceName;
  const char* thread;
};

// Raises the start's JavaScript error; false when it started.
bool raiseFailedStart(Napi::Env env, const StartOutcome& outcome, const StartErrors& errors);

class ServiceRuns {
 public:
  using Body = std::function<void(const RunningFlag&)>;

  ServiceRuns();
  ~ServiceRuns();
  ServiceRuns(const ServiceRuns&) = delete;
  ServiceRuns& operator=(const ServiceRuns&) = delete;

  bool running() const;

  // Runs work(queue, flag) on a new thread as the current run, the queue (just made, maybe empty)
  // its own. A current run is first stopped and joined when replace is set; otherwise the start is
  // Busy. When nothing starts, the queue is given up again.
  template <typename Queue, typename Work>
  StartOutcome start(napi_env owner, Queue queue, bool replace, Work work) {
    if (!queue) return {Started::NoQueue, {}};
    // Shared, because the body is copied; the one queue and its one reference stay.
    auto owned = std::make_shared<Queue>(std::move(queue));
    StartOutcome outcome = startBody(
        owner, owned->room(), [owned, work](const RunningFlag& running) mutable { work(*owned, running); },
        replace);
    if (outcome.started != Started::Yes) owned->release();
    return outcome;
  }

  // Clears the current run's flag; with join, also waits for its worker. False when none ran.
  bool stop(bool join);

  // Stops every run of that environment and waits for their workers.
  void stopOwnedBy(napi_env env);

 private:
  struct Run;
  StartOutcome startBody(napi_env owner, std::shared_ptr<QueueRoom> room, Body body, bool replace);
  void joinFinished();

  mutable std::mutex mutex_;
  std::shared_ptr<Run> current_;
  std::vector<std::shared_ptr<Run>> stopped_;  // their workers may still be running
};

}  // namespace corvane
