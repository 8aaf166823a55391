// Which of two ways of doing one job is cheaper where it runs, found by timing both: each in turn
// over the first ticks, then the cheaper kept and the other tried again now and then, less often
// each time it loses, and at once when the kept way grows much dearer than when it was chosen
// (the machine's load or the display changed). The ways must give the same result: only their
// cost differs.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>

namespace corvane {

class CheaperWay {
 public:
  enum Way { kFirst = 0, kSecond = 1 };
  static constexpr int kProbeTicks = 3;            // of each way, per comparison
  static constexpr uint64_t kFirstRecheck = 512;   // ticks of the kept way before the next comparison
  static constexpr uint64_t kLastRecheck = 16384;  // doubled each time the kept way stays, up to this
  // The other way replaces the kept one only when this much cheaper, so that two ways of about
  // the same cost do not take turns.
  static constexpr double kSwitchBelow = 0.9;
  // The kept way's median over its latest ticks, against its median when last compared.
  static constexpr double kDearerAbove = 1.5;

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

  Phase phase_ = Phase::kFirstComparison;
  Way kept_ = kFirst;
  uint64_t ticks_ = 0;  // in this phase
  uint64_t recheck_ = kFirstRecheck;
  std::chrono::nanoseconds keptWhenCompared_{0};
  Costs keptCosts_{};   // the kept way's latest (in the first comparison: the first way's)
  Costs otherCosts_{};  // the other way's, in a comparison
};

}  // namespace corvane
