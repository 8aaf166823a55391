// A joinable native thread whose start reports failure instead of ending the process.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace corvane {

class WorkerThread {
 public:
  WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;
  // A thread still held here is joined: its service must have been told to stop.
  ~WorkerThread();

  // Runs body on a new thread. On failure returns false and sets error to a description of it.
  bool start(std::function<void()> body, std::string& error);
  bool running() const { return state_ != nullptr; }
  // Waits for the thread to end; nothing when none is held.
  void join();
  // Lets the thread run on its own; nothing is held afterwards.
  void detach();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace corvane
