#include "capture/cheaper_way.h"

#include <algorithm>

namespace corvane {
namespace {

CheaperWay::Way other(CheaperWay::Way way) { return way == CheaperWay::kFirst ? CheaperWay::kSecond : CheaperWay::kFirst; }

}  // namespace

CheaperWay CheaperWay::fixed(Way way) {
  CheaperWay chosen;
  chosen.phase_ = Phase::kFixed;
  chosen.kept_ = way;
  return chosen;
}

CheaperWay::Way CheaperWay::next() const {
  switch (phase_) {
    case Phase::kFirstComparison:
      // In turn, so that a busy moment of the machine falls on both.
      return ticks_ % 2 == 0 ? kFirst : kSecond;
    case Phase::kComparing:
      return other(kept_);
    case Phase::kKeeping:
    case Phase::kFixed:
      break;
  }
  return kept_;
}

void CheaperWay::tookTime(std::chrono::nanoseconds cost) {
  switch (phase_) {
    case Phase::kFixed:
      return;
    case Phase::kFirstComparison:
      (ticks_ % 2 == 0 ? keptCosts_ : otherCosts_)[ticks_ / 2] = cost;
      if (++ticks_ == 2 * kProbeTicks) keepCheaper(true);
      return;
    case Phase::kKeeping: {
      keptCosts_[ticks_ % kProbeTicks] = cost;
      ++ticks_;
      const bool grewDearer =
          ticks_ % kProbeTicks == 0 && median(keptCosts_).count() > kDearerAbove * keptWhenCompared_.count();
      if (ticks_ >= recheck_ || grewDearer) {
        if (grewDearer) recheck_ = kFirstRecheck;
        phase_ = Phase::kComparing;
        ticks_ = 0;
      }
      return;
    }
    case Phase::kComparing:
      otherCosts_[ticks_] = cost;
      if (++ticks_ == kProbeTicks) keepCheaper(false);
      return;
  }
}

// At the start the cheaper of the two is kept, however close; later the other must win clearly.
void CheaperWay::keepCheaper(bool fromStart) {
  const auto keptCost = median(keptCosts_);
  const auto otherCost = median(otherCosts_);
  const bool switches = fromStart ? otherCost < keptCost : otherCost.count() < kSwitchBelow * keptCost.count();
  if (switches) {
    kept_ = other(kept_);
    keptCosts_ = otherCosts_;
    recheck_ = kFirstRecheck;
  } else if (!fromStart) {
    recheck_ = std::min(recheck_ * 2, kLastRecheck);
  }
  keptWhenCompared_ = switches ? otherCost : keptCost;
  phase_ = Phase::kKeeping;
  ticks_ = 0;
}

std::chrono::nanoseconds CheaperWay::median(Costs costs) {
  std::nth_element(costs.begin(), costs.begin() + kProbeTicks / 2, costs.end());
  return costs[kProbeTicks / 2];
}

}  // namespace corvane
