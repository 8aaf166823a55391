#include "common/worker_thread.h"

#include <pthread.h>

#include <cerrno>
#include <cstring>

#include "common/faults.h"

namespace corvane {

struct WorkerThread::State {
  pthread_t thread;
};

namespace {

void* runBody(void* argument) {
  std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(argument));
  (*body)();
  return nullptr;
}

}  // namespace

WorkerThread::WorkerThread() = default;
WorkerThread::~WorkerThread() { join(); }

bool WorkerThread::start(std::function<void()> body, std::string& error) {
  join();
  auto heapBody = std::make_unique<std::function<void()>>(std::move(body));
  auto state = std::make_unique<State>();
  const int code = injectedFault(Fault::ThreadStart)
                       ? EAGAIN
                       : pthread_create(&state->thread, nullptr, runBody, heapBody.get());
  if (code != 0) {
    error = std::string("pthread_create failed: ") + std::strerror(code);
    return false;
  }
  static_cast<void>(heapBody.release());  // the thread owns it now
  state_ = std::move(state);
  return true;
}

void WorkerThread::join() {
  if (!state_) return;
  pthread_join(state_->thread, nullptr);
  state_.reset();
}

}  // namespace corvane

namespace corvane {

void WorkerThread::detach() {
  if (!state_) return;
  pthread_detach(state_->thread);
  state_.reset();
}

}  // namespace corvane
