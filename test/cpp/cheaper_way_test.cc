#include "capture/cheaper_way.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>

namespace corvane {
namespace {

using std::chrono::nanoseconds;
using Way = CheaperWay::Way;

// Runs ticks of a chooser whose ways cost what cost(way, tick) says; returns the ticks each took.
std::array<uint64_t, 2> run(CheaperWay& chooser, uint64_t ticks,
                            const std::function<int64_t(Way, uint64_t)>& cost, uint64_t firstTick = 0) {
  std::array<uint64_t, 2> taken{};
  for (uint64_t tick = firstTick; tick < firstTick + ticks; ++tick) {
    const Way way = chooser.next();
    ++taken[way];
    chooser.tookTime(nanoseconds(cost(way, tick)));
  }
  return taken;
}

constexpr uint64_t kRun = CheaperWay::kSettleTicks + CheaperWay::kProbeTicks;

TEST(CheaperWay, TimesOneWayThenTheOtherThenKeepsTheCheaper) {
  for (const Way cheap : {CheaperWay::kFirst, CheaperWay::kSecond}) {
    CheaperWay chooser;
    std::array<Way, 2 * kRun> first{};
    for (Way& way : first) {
      way = chooser.next();
      chooser.tookTime(nanoseconds(way == cheap ? 1000 : 1100));
    }
    for (size_t tick = 0; tick < first.size(); ++tick)
      EXPECT_EQ(first[tick], tick < kRun ? CheaperWay::kFirst : CheaperWay::kSecond);
    EXPECT_EQ(chooser.kept(), cheap);
    EXPECT_EQ(chooser.next(), cheap);
  }
}

// The ticks just after a change of way, and a busy moment or two, decide nothing.
TEST(CheaperWay, TheFirstTicksOfAWayAndTwoSlowOnesDoNotDecide) {
  CheaperWay chooser;
  const auto taken = run(chooser, 2 * kRun, [](Way way, uint64_t tick) {
    if (way == CheaperWay::kFirst) return 1000;
    const uint64_t ofSecond = tick - kRun;
    return ofSecond < CheaperWay::kSettleTicks || ofSecond == 4 || ofSecond == 6 ? 90000 : 500;
  });
  EXPECT_EQ(taken, (std::array<uint64_t, 2>{kRun, kRun}));
  EXPECT_EQ(chooser.kept(), CheaperWay::kSecond);
}

// The dearer way's share of a long run stays small however much dearer it is: the comparisons
// come less and less often while the kept way stays cheaper.
TEST(CheaperWay, SpendsAlmostNothingOnTheDearerWayOverALongRun) {
  CheaperWay chooser;
  const uint64_t ticks = 200000;
  const auto taken =
      run(chooser, ticks, [](Way way, uint64_t) { return way == CheaperWay::kFirst ? 10000 : 1000; });
  EXPECT_EQ(chooser.kept(), CheaperWay::kSecond);
  // 8 at the start, then 8 at 256, 512, ... 4096 ticks apart, then every 4096.
  EXPECT_LE(taken[CheaperWay::kFirst], kRun * (1 + 5 + ticks / CheaperWay::kLastRecheck));
  // What the comparisons cost, as a share of the run: about 2 % for a way ten times dearer.
  EXPECT_LT(static_cast<double>(taken[CheaperWay::kFirst]) * 10 / static_cast<double>(ticks), 0.025);
}

TEST(CheaperWay, SwitchesOnlyToAClearlyCheaperWay) {
  CheaperWay close;
  // After the start the other way is 5 % cheaper: not enough to take turns over.
  run(close, 2 * kRun, [](Way way, uint64_t) { return way == CheaperWay::kFirst ? 1000 : 1100; });
  run(
      close, 40000, [](Way way, uint64_t) { return way == CheaperWay::kFirst ? 1000 : 950; }, 2 * kRun);
  EXPECT_EQ(close.kept(), CheaperWay::kFirst);

  CheaperWay clear;
  run(clear, 2 * kRun, [](Way way, uint64_t) { return way == CheaperWay::kFirst ? 1000 : 1100; });
  run(
      clear, CheaperWay::kFirstRecheck + kRun,
      [](Way way, uint64_t) { return way == CheaperWay::kFirst ? 1000 : 800; }, 2 * kRun);
  EXPECT_EQ(clear.kept(), CheaperWay::kSecond);
}

TEST(CheaperWay, TakesTheOtherWayAtTheNextComparisonWhenCostsChange) {
  CheaperWay chooser;
  run(chooser, 20000, [](Way way, uint64_t) { return way == CheaperWay::kFirst ? 1000 : 2000; });
  ASSERT_EQ(chooser.kept(), CheaperWay::kFirst);
  // Now the first way costs twice the second: by the next comparison, at most the longest pause
  // between two, the second is kept.
  run(
      chooser, CheaperWay::kLastRecheck + kRun,
      [](Way way, uint64_t) { return way == CheaperWay::kFirst ? 4000 : 2000; }, 20000);
  EXPECT_EQ(chooser.kept(), CheaperWay::kSecond);
}

TEST(CheaperWay, AFixedWayIsNeverTimedNorLeft) {
  CheaperWay chooser = CheaperWay::fixed(CheaperWay::kSecond);
  const auto taken =
      run(chooser, 50000, [](Way way, uint64_t) { return way == CheaperWay::kSecond ? 1000000 : 1; });
  EXPECT_EQ(taken, (std::array<uint64_t, 2>{0, 50000}));
}

}  // namespace
}  // namespace corvane
