#include "capture/cheaper_way.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>

namespace corvane {
namespace {

using std::chrono::nanoseconds;
using Way = CheaperWay::Way;

// Runs ticks of a chooser whose ways cost what cost(way, tick) says; returns the ticks each took.
std::array<uint64_t, 2> run(CheaperWay& chooser, uint64_t ticks, const std::function<int64_t(Way, uint64_t)>& cost,
                            uint64_t firstTick = 0) {
  std::array<uint64_t, 2> taken{};
  for (uint64_t tick = firstTick; tick < firstTick + ticks; ++tick) {
    const Way way = chooser.next();
    ++taken[way];
    chooser.tookTime(nanoseconds(cost(way, tick)));
  }
  return taken;
}

TEST(CheaperWay, TimesBothInTurnThenKeepsTheCheaper) {
  for (const Way cheap : {CheaperWay::kFirst, CheaperWay::kSecond}) {
    CheaperWay chooser;
    std::array<Way, 2 * CheaperWay::kProbeTicks> first{};
    for (Way& way : first) {
      way = chooser.next();
      chooser.tookTime(nanoseconds(way == cheap ? 1000 : 1100));
    }
    EXPECT_EQ(first, (std::array<Way, 6>{CheaperWay::kFirst, CheaperWay::kSecond, CheaperWay::kFirst,
                                         CheaperWay::kSecond, CheaperWay::kFirst, CheaperWay::kSecond}));
    EXPECT_EQ(chooser.kept(), cheap);
    EXPECT_EQ(chooser.next(), cheap);
  }
}

TEST(CheaperWay, OneSlowTickOfTheCheaperWayDoesNotDecide) {
  CheaperWay chooser;
  // The second way is cheaper, but its first tick fell on a busy moment.
  const auto taken = run(chooser, 6, [](Way way, uint64_t tick) { return way == CheaperWay::kSecond ? (tick == 1 ? 90000 : 500) : 1000; });
  EXPECT_EQ(taken, (std::array<uint64_t, 2>{3, 3}));
  EXPECT_EQ(chooser.kept(), CheaperWay::kSecond);
}

// The dearer way's share of a long run stays small however much dearer it is: the comparisons
// come less and less often while the kept way stays cheaper.
TEST(CheaperWay, SpendsAlmostNothingOnTheDearerWayOverALongRun) {
  CheaperWay chooser;
  const uint64_t ticks = 200000;
  const auto taken = run(chooser, ticks, [](Way way, uint64_t) { return way == CheaperWay::kFirst ? 10000 : 1000; });
  EXPECT_EQ(chooser.kept(), CheaperWay::kSecond);
  // 3 at the start, then 3 at 512, 1024, ... 16384 ticks apart, then every 16384.
  EXPECT_LE(taken[CheaperWay::kFirst], 3u + 3u * (6u + ticks / CheaperWay::kLastRecheck));
  EXPECT_LT(static_cast<double>(taken[CheaperWay::kFirst]) * 10 / static_cast<double>(ticks), 0.005);
}

TEST(CheaperWay, SwitchesOnlyToAClearlyCheaperWay) {
  CheaperWay close;
  // After the start the other way is 5 % cheaper: not enough to take turns over.
  run(close, 6, [](Way way, uint64_t) { return way == CheaperWay::kFirst ? 1000 : 1100; });
  run(close, 40000, [](Way way, uint64_t) { return way == CheaperWay::kFirst ? 1000 : 950; }, 6);
  EXPECT_EQ(close.kept(), CheaperWay::kFirst);

  CheaperWay clear;
  run(clear, 6, [](Way way, uint64_t) { return way == CheaperWay::kFirst ? 1000 : 1100; });
  run(clear, CheaperWay::kFirstRecheck + CheaperWay::kProbeTicks, [](Way way, uint64_t) { return way == CheaperWay::kFirst ? 1000 : 800; }, 6);
  EXPECT_EQ(clear.kept(), CheaperWay::kSecond);
}

TEST(CheaperWay, ComparesAtOnceWhenTheKeptWayGrowsDearer) {
  CheaperWay chooser;
  run(chooser, 20000, [](Way way, uint64_t) { return way == CheaperWay::kFirst ? 1000 : 2000; });
  ASSERT_EQ(chooser.kept(), CheaperWay::kFirst);
  // Now the first way costs four times as much: within two windows of three ticks it is noticed,
  // three ticks of the other compared, and the other kept.
  run(chooser, 2 * CheaperWay::kProbeTicks + CheaperWay::kProbeTicks,
      [](Way way, uint64_t) { return way == CheaperWay::kFirst ? 4000 : 2000; }, 20000);
  EXPECT_EQ(chooser.kept(), CheaperWay::kSecond);
}

TEST(CheaperWay, AFixedWayIsNeverTimedNorLeft) {
  CheaperWay chooser = CheaperWay::fixed(CheaperWay::kSecond);
  const auto taken = run(chooser, 50000, [](Way way, uint64_t) { return way == CheaperWay::kSecond ? 1000000 : 1; });
  EXPECT_EQ(taken, (std::array<uint64_t, 2>{0, 50000}));
}

}  // namespace
}  // namespace corvane
