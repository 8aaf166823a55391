// Where a capture tick spends its time. Shipping and test builds link a recorder that does
// nothing and reads no clock; the benchmark build links one that sums each phase's wall time and
// the thread's processor time, so one set of sources is timed.
#pragma once

#include <cstdint>

namespace corvane {

enum class TickPhase { Grab, PixelBuffer, Frame, Sample, Queue, Deliver, Count };

// Where a phase began, as far as the recorder keeps it.
struct PhaseStart {
  int64_t wallNs = 0;
  int64_t cpuNs = 0;
};
PhaseStart beginTickPhase();
void endTickPhase(TickPhase phase, const PhaseStart& start);

// Records the time from its construction to its destruction under phase.
class PhaseTimer {
 public:
  explicit PhaseTimer(TickPhase phase) : phase_(phase), start_(beginTickPhase()) {}
  ~PhaseTimer() { endTickPhase(phase_, start_); }
  PhaseTimer(const PhaseTimer&) = delete;
  PhaseTimer& operator=(const PhaseTimer&) = delete;

 private:
  TickPhase phase_;
  PhaseStart start_;
};

}  // namespace corvane
