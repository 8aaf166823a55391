#include "common/service_runs.h"

#include <algorithm>
#include <atomic>

#include "common/raise.h"
#include "common/worker_thread.h"

namespace corvane {

struct ServiceRuns::Run {
  napi_env owner = nullptr;
  RunningFlag running;
  std::shared_ptr<QueueRoom> room;
  WorkerThread worker;
  std::atomic<bool> finished{false};

  void stop(bool join) {
    running.clear();
    room->stop();
    if (join) worker.join();
  }
};

ServiceRuns::ServiceRuns() = default;
ServiceRuns::~ServiceRuns() = default;

bool ServiceRuns::running() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return current_ != nullptr;
}

StartOutcome ServiceRuns::startBody(napi_env owner, std::shared_ptr<QueueRoom> room, Body body,
                                    bool replace) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (current_) {
    if (!replace) return {Started::Busy, {}};
    current_->stop(true);
    current_.reset();
  }
  joinFinished();
  auto run = std::make_shared<Run>();
  run->owner = owner;
  run->room = std::move(room);
  run->running.set();
  // The thread holds only a plain pointer: the run outlives it, since every run is joined before
  // it is dropped.
  Run* raw = run.get();
  StartOutcome outcome;
  if (!run->worker.start(
          [raw, body = std::move(body)] {
            body(raw->running);
            raw->finished.store(true);
          },
          outcome.error)) {
    outcome.started = Started::NoThread;
    return outcome;
  }
  current_ = std::move(run);
  return outcome;
}

bool ServiceRuns::stop(bool join) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!current_) return false;
  current_->stop(join);
  if (!join) stopped_.push_back(current_);
  current_.reset();
  return true;
}

void ServiceRuns::stopOwnedBy(napi_env env) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (current_ && current_->owner == env) {
    current_->stop(true);
    current_.reset();
  }
  for (const auto& run : stopped_) {
    if (run->owner == env) run->stop(true);
  }
  joinFinished();
}

void ServiceRuns::joinFinished() {
  const auto end = std::remove_if(stopped_.begin(), stopped_.end(), [](const std::shared_ptr<Run>& run) {
    if (!run->finished.load()) return false;
    run->worker.join();
    return true;
  });
  stopped_.erase(end, stopped_.end());
}

bool raiseFailedStart(Napi::Env env, const StartOutcome& outcome, const StartErrors& errors) {
  switch (outcome.started) {
    case Started::Yes:
      return false;
    case Started::Busy:
      raiseError(env, errors.busy);
      break;
    case Started::NoQueue:
      raiseError(env,
                 (std::string("napi_create_threadsafe_function failed for ") + errors.resourceName).c_str());
      break;
    case Started::NoThread:
      raiseError(env,
                 (std::string("could not start the ") + errors.thread + " thread: " + outcome.error).c_str());
      break;
  }
  return true;
}

}  // namespace corvane
