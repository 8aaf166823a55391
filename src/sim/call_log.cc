#include "sim/call_log.h"

#include <mutex>
#include <utility>

namespace corvane::sim {
namespace {

// Worker threads of later services record calls too.
std::mutex logMutex;
std::vector<std::string> calls;

}  // namespace

void recordCall(std::string call) {
  std::lock_guard<std::mutex> lock(logMutex);
  calls.push_back(std::move(call));
}

std::vector<std::string> takeCalls() {
  std::lock_guard<std::mutex> lock(logMutex);
  return std::exchange(calls, {});
}

}  // namespace corvane::sim
