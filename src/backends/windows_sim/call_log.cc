#include "backends/windows_sim/call_log.h"

#include <atomic>
#include <mutex>
#include <utility>

namespace corvane::sim {
namespace {

// Worker threads record calls too, up to their last tick at process exit, so nothing here is
// ever destroyed.
std::mutex& logMutex = *new std::mutex;
std::vector<std::string>& calls = *new std::vector<std::string>;
std::atomic<bool> recording{true};

}  // namespace

void recordCall(std::string call) {
  if (!recording.load()) return;
  std::lock_guard<std::mutex> lock(logMutex);
  calls.push_back(std::move(call));
}

std::vector<std::string> takeCalls() {
  std::lock_guard<std::mutex> lock(logMutex);
  return std::exchange(calls, {});
}

void setRecording(bool on) { recording.store(on); }

}  // namespace corvane::sim
