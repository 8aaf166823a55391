// Which of two ways of doing one job is cheaper where it runs, found by timing both: one after the
// other over the first ticks, then the cheaper kept and the other tried again now and then (the
// machine's load or the display may change), less often each time it loses. Each way runs a few
// ticks untimed before it is timed, since the first ticks after a change of way can cost far more
// than its steady ones (under Wine a whole read after row reads took twice its usual time for
// several ticks); then the median of several, so that one slow tick decides nothing. The ways
// must give the same result: only their cost differs.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>

namespace corvane {

class CheaperWay {
 public:
  enum Way { kFirst = 0, kSecond = 1 };
  static constexpr int kSettleTicks = 3;          // of a way, untimed, before it is timed
  static constexpr int kProbeTicks = 5;           // of each way, timed, per comparison
  static constexpr uint64_t kFirstRecheck = 256;  // ticks of the kept way before the next comparison
  static constexpr uint64_t kLastRecheck = 4096;  // doubled each time the kept way stays, up to this
  // The other way replaces the kept one only when this much cheaper, so that two ways of about
  // the same cost do not take turns.
  static constexpr double kSwitchBelow = 0.9;

  CheaperWay() = default;
  // Kept without timing, as when the way is forced from outside.
  static CheaperWay fixed(Way way);

  // The way this tick takes; then tookTime() with what it cost.
  Way next() const;
  void tookTime(std::chrono::nanoseconds cost);

  Way kept() const { return kept_; }

 private:
  enum class Phase { kFirstComparison, kKeeping, kComparing, kFixed };
  using Costs = std::array<std::chrono::nanoseconds, kProbeTicks>;
  static std::chrono::nanoseconds median(Costs costs);
  void keepCheaper(bool fromStart);

  static constexpr uint64_t kRun = kSettleTicks + kProbeTicks;  // a way's ticks in a comparison

  Phase phase_ = Phase::kFirstComparison;
  Way kept_ = kFirst;
  uint64_t ticks_ = 0;  // in this phase
  uint64_t recheck_ = kFirstRecheck;
  Costs keptCosts_{};   // the kept way's latest (in the first comparison: the first way's)
  Costs otherCosts_{};  // the other way's, in a comparison
};

}  // namespace corvane
