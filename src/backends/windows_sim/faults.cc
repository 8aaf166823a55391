// Failures that the simulator control arms for the next attempt.
#include "common/faults.h"

#include <atomic>

#include "backends/windows_sim/faults.h"

namespace corvane {
namespace {

std::atomic<int> armed[3];

}  // namespace

bool injectedFault(Fault fault) {
  std::atomic<int>& count = armed[static_cast<int>(fault)];
  int left = count.load();
  while (left > 0) {
    if (count.compare_exchange_weak(left, left - 1)) return true;
  }
  return false;
}

namespace sim {

void armFault(Fault fault, int times) { armed[static_cast<int>(fault)].store(times); }

}  // namespace sim
}  // namespace corvane
