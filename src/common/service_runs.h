// The runs of one service: at most one current run, and stopped runs whose workers may still be
// finishing a tick. Each run has its own flag, so a worker of a stopped run never carries on into
// a newer one, and the environment that started it, since its queue dies with that environment.
// Environments (Workers) share a service, so every operation holds the lock. The workers never
// take it, so joining them under it cannot deadlock.
//
// The order every service keeps:
// - start: the queue is made first; the run's flag is set; the worker starts. The worker owns the
//   queue's reference and releases it as its last act.
// - stop: the flag is cleared, which also ends the worker's pause at once; the worker may finish
//   the tick it is in.
// - an environment going away: its runs are stopped and their workers joined before its queues
//   are freed, so no worker outlives the queue it posts to, nor the module's code.
#pragma once

#include <napi.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/running_flag.h"

namespace corvane {

enum class Started { Yes, Busy, Failed };

class ServiceRuns {
 public:
  using Body = std::function<void(const RunningFlag&)>;

  ServiceRuns();
  ~ServiceRuns();
  ServiceRuns(const ServiceRuns&) = delete;
  ServiceRuns& operator=(const ServiceRuns&) = delete;

  bool running() const;

  // Runs body on a new thread as the current run. A current run is first stopped and joined when
  // replace is set; otherwise the start is Busy. Failed sets error, and nothing runs.
  Started start(napi_env owner, Body body, bool replace, std::string& error);

  // Clears the current run's flag; with join, also waits for its worker. False when none ran.
  bool stop(bool join);

  // Stops every run of that environment and waits for their workers.
  void stopOwnedBy(napi_env env);

 private:
  struct Run;
  void joinFinished();

  mutable std::mutex mutex_;
  std::shared_ptr<Run> current_;
  std::vector<std::shared_ptr<Run>> stopped_;  // their workers may still be running
};

}  // namespace corvane
