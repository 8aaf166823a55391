// Where a capture tick spends its time. Shipping and test builds link a recorder that does
// nothing; the benchmark build links one that sums each phase, so one set of sources is timed.
#pragma once

#include <chrono>
#include <cstdint>

namespace corvane {

enum class TickPhase { Grab, PixelBuffer, Frame, Sample, Queue, Deliver, Count };

void recordTickPhase(TickPhase phase, std::chrono::steady_clock::duration spent);

// Records the time from its construction to its destruction under phase.
class PhaseTimer {
 public:
  explicit PhaseTimer(TickPhase phase) : phase_(phase), start_(std::chrono::steady_clock::now()) {}
  ~PhaseTimer() { recordTickPhase(phase_, std::chrono::steady_clock::now() - start_); }
  PhaseTimer(const PhaseTimer&) = delete;
  PhaseTimer& operator=(const PhaseTimer&) = delete;

 private:
  TickPhase phase_;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace corvane
