#include "displays/monitor_layout.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

const ScreenSize kScreen{3200, 1200, 846, 317};

MonitorRecord randr(const char* name, int32_t x, int32_t width, bool primary) {
  return {name, x, 0, width, 1200, width / 4, 317, primary};
}

TEST(ChooseMonitors, KeepsRandrMonitorsAndTheirOrderWhenThereAreSeveral) {
  const auto monitors =
      chooseMonitors({randr("DP-2", 1920, 1280, true), randr("HDMI-1", 0, 1920, false)},
                     {{0, 0, 1920, 1200}, {1920, 0, 1280, 1024}, {0, 0, 640, 480}}, kScreen);
  ASSERT_EQ(monitors.size(), 2u);
  EXPECT_EQ(monitors[0].deviceName, "DP-2");
  EXPECT_TRUE(monitors[0].isPrimary);
  EXPECT_EQ(monitors[1].deviceName, "HDMI-1");
  EXPECT_FALSE(monitors[1].isPrimary);
  EXPECT_EQ(monitors[1].widthMM, 480);
}

TEST(ChooseMonitors, TakesXineramaHeadsWhenRandrKnowsOneOrNone) {
  const std::vector<ScreenHead> heads{{0, 0, 1920, 1200}, {1920, 100, 1280, 1024}};
  for (const auto& fromRandr :
       {std::vector<MonitorRecord>{}, std::vector<MonitorRecord>{randr("screen", 0, 3200, false)}}) {
    const auto monitors = chooseMonitors(fromRandr, heads, kScreen);
    ASSERT_EQ(monitors.size(), 2u);
    EXPECT_EQ(monitors[0].deviceName, "XINERAMA-0");
    EXPECT_EQ(monitors[1].deviceName, "XINERAMA-1");
    EXPECT_EQ(monitors[1].x, 1920);
    EXPECT_EQ(monitors[1].y, 100);
    EXPECT_EQ(monitors[1].height, 1024);
    // The screen's millimetres in proportion to the head's pixels, rounded: 846 x 1280 / 3200
    // = 338.4, 317 x 1024 / 1200 = 270.5.
    EXPECT_EQ(monitors[1].widthMM, 338);
    EXPECT_EQ(monitors[1].heightMM, 271);
    EXPECT_TRUE(monitors[0].isPrimary);
    EXPECT_FALSE(monitors[1].isPrimary);
  }
}

TEST(ChooseMonitors, PrefersRandrsOneMonitorToOneXineramaHead) {
  const auto monitors = chooseMonitors({randr("eDP-1", 0, 3200, false)}, {{0, 0, 3200, 1200}}, kScreen);
  ASSERT_EQ(monitors.size(), 1u);
  EXPECT_EQ(monitors[0].deviceName, "eDP-1");
  EXPECT_TRUE(monitors[0].isPrimary) << "the only monitor counts as primary";
}

TEST(ChooseMonitors, FallsBackToTheWholeScreenAndToNothing) {
  const auto whole = chooseMonitors({}, {}, kScreen);
  ASSERT_EQ(whole.size(), 1u);
  EXPECT_EQ(whole[0].deviceName, "screen");
  EXPECT_EQ(whole[0].width, 3200);
  EXPECT_EQ(whole[0].heightMM, 317);
  EXPECT_TRUE(whole[0].isPrimary);
  EXPECT_TRUE(chooseMonitors({}, {}, ScreenSize{}).empty());
  // A screen that reports no physical size gives heads none either, rather than dividing by 0.
  const auto heads = chooseMonitors({}, {{0, 0, 10, 10}, {10, 0, 10, 10}}, ScreenSize{0, 0, 0, 0});
  EXPECT_EQ(heads[1].widthMM, 0);
}

TEST(MarkPrimaryAtOrigin, TakesTheOutputAtTheOriginElseTheFirst) {
  std::vector<MonitorRecord> outputs = {
      {"LEFT", -1024, 200, 1024, 768}, {"MIDDLE", 0, 0, 1920, 1080}, {"RIGHT", 1920, 0, 1280, 1024}};
  markPrimaryAtOrigin(outputs);
  EXPECT_FALSE(outputs[0].isPrimary);
  EXPECT_TRUE(outputs[1].isPrimary);
  EXPECT_FALSE(outputs[2].isPrimary);

  std::vector<MonitorRecord> shifted = {{"A", 100, 50, 640, 480}, {"B", 740, 0, 800, 600}};
  markPrimaryAtOrigin(shifted);
  EXPECT_TRUE(shifted[0].isPrimary);
  EXPECT_FALSE(shifted[1].isPrimary);

  std::vector<MonitorRecord> none;
  markPrimaryAtOrigin(none);
  EXPECT_TRUE(none.empty());
}

TEST(FindMonitor, FindsByExactName) {
  const auto monitors =
      chooseMonitors({randr("DP-1", 0, 1600, false), randr("DP-10", 1600, 1600, false)}, {}, kScreen);
  ASSERT_NE(findMonitor(monitors, "DP-10"), nullptr);
  EXPECT_EQ(findMonitor(monitors, "DP-10")->x, 1600);
  EXPECT_EQ(findMonitor(monitors, "DP"), nullptr);
  EXPECT_EQ(findMonitor(monitors, ""), nullptr);
}

}  // namespace
}  // namespace corvane
