#include "capture/cheaper_way.h"

#include <algorithm>

namespace corvane {
namespace {

CheaperWay::Way other(CheaperWay::Way way) {
  return way == CheaperWay::kFirst ? CheaperWay::kSecond : CheaperWay::kFirst;
}

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
      return ticks_ < kRun ? kFirst : kSecond;
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
      if (ticks_ % kRun >= kSettleTicks)
        (ticks_ < kRun ? keptCosts_ : otherCosts_)[ticks_ % kRun - kSettleTicks] = cost;
      if (++ticks_ == 2 * kRun) keepCheaper(true);
      return;
    case Phase::kKeeping:
      keptCosts_[ticks_ % kProbeTicks] = cost;
      if (++ticks_ >= recheck_) {
        phase_ = Phase::kComparing;
        ticks_ = 0;
      }
      return;
    case Phase::kComparing:
      if (ticks_ >= kSettleTicks) otherCosts_[ticks_ - kSettleTicks] = cost;
      if (++ticks_ == kRun) keepCheaper(false);
      return;
  }
}

// At the start the cheaper of the two is kept, however close; later the other must win clearly.
void CheaperWay::keepCheaper(bool fromStart) {
  const auto keptCost = median(keptCosts_);
  const auto otherCost = median(otherCosts_);
  const bool switches = fromStart ? otherCost < keptCost
                                  : static_cast<double>(otherCost.count()) <
                                        kSwitchBelow * static_cast<double>(keptCost.count());
  if (switches) {
    kept_ = other(kept_);
    keptCosts_ = otherCosts_;
    recheck_ = kFirstRecheck;
  } else if (!fromStart) {
    recheck_ = std::min(recheck_ * 2, kLastRecheck);
  }
  phase_ = Phase::kKeeping;
  ticks_ = 0;
}

std::chrono::nanoseconds CheaperWay::median(Costs costs) {
  std::nth_element(costs.begin(), costs.begin() + kProbeTicks / 2, costs.end());
  return costs[kProbeTicks / 2];
}

}  // namespace corvane
