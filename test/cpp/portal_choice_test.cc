#include "backends/portal/portal_choice.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace corvane {
namespace {

const PixelArea kLeft{0, 0, 1920, 1080};
const PixelArea kRight{1920, 0, 1280, 1024};

TEST(ChooseStream, TakesTheStreamShowingTheOutputAndRefusesAnother) {
  std::string why;
  const PortalOutput right{"HEADLESS-2", kRight};
  auto chosen = chooseStream({{40, kLeft}, {41, kRight}}, right, why);
  ASSERT_TRUE(chosen);
  EXPECT_EQ(chosen->node, 41u);
  // The user picked the other output in the dialog: its picture would be the wrong one.
  EXPECT_FALSE(chooseStream({{40, kLeft}}, right, why));
  EXPECT_NE(why.find("another output than HEADLESS-2"), std::string::npos) << why;
  EXPECT_NE(why.find("1920x1080 at 0,0"), std::string::npos) << why;
  EXPECT_FALSE(chooseStream({}, right, why));
}

TEST(ChooseStream, TakesASoleStreamWhosePlaceIsUnknown) {
  std::string why;
  // Portals need not say where a stream lies; nor does a forced portal know the output's place.
  EXPECT_EQ(chooseStream({{7, std::nullopt}}, PortalOutput{"DP-1", kLeft}, why)->node, 7u);
  EXPECT_EQ(chooseStream({{7, kRight}}, PortalOutput{"DP-1", std::nullopt}, why)->node, 7u);
  EXPECT_FALSE(chooseStream({{7, kLeft}, {8, kRight}}, PortalOutput{"DP-1", std::nullopt}, why));
  EXPECT_FALSE(chooseStream({{7, std::nullopt}, {8, std::nullopt}}, PortalOutput{"DP-1", kLeft}, why));
}

TEST(RestoreTokenPath, FollowsTheStateFolderRulesAndKeepsNamesInsideIt) {
  EXPECT_EQ(restoreTokenPath("/s", "/home/u", {"DP-1"}), "/s/corvane/screencast-DP-1.token");
  EXPECT_EQ(restoreTokenPath(nullptr, "/home/u", {"DP-1"}),
            "/home/u/.local/state/corvane/screencast-DP-1.token");
  EXPECT_EQ(restoreTokenPath("relative", "/home/u", {"DP-1"}),
            "/home/u/.local/state/corvane/screencast-DP-1.token");
  EXPECT_EQ(restoreTokenPath(nullptr, nullptr, {"DP-1"}), "");
  EXPECT_EQ(restoreTokenPath("/s", nullptr, {"../x/y"}), "/s/corvane/screencast-_.._x_y.token");
  EXPECT_EQ(restoreTokenPath("/s", nullptr, {""}), "/s/corvane/screencast-_.token");
  EXPECT_EQ(restoreTokenPath("/s", nullptr, {"DP-1", "a/b"}), "/s/corvane/screencast-DP-1+a_b.token");
}

TEST(ChooseStreams, MatchesEachOutputByPlaceAndSaysWhichWentUnshared) {
  const PortalOutput left{"Meta-0", kLeft};
  const PortalOutput right{"Meta-1", kRight};
  std::vector<std::string> whys;
  // In any order.
  auto chosen = chooseStreams({{41, kRight}, {40, kLeft}}, {left, right}, whys);
  ASSERT_TRUE(chosen[0] && chosen[1]);
  EXPECT_EQ(chosen[0]->node, 40u);
  EXPECT_EQ(chosen[1]->node, 41u);
  // The user shared fewer, or another: those shared still capture.
  chosen = chooseStreams({{41, kRight}, {42, PixelArea{0, 1080, 800, 600}}}, {left, right}, whys);
  EXPECT_FALSE(chosen[0]);
  EXPECT_EQ(whys[0], "the portal did not share Meta-0 (1920x1080 at 0,0)");
  EXPECT_EQ(chosen[1]->node, 41u);
  EXPECT_EQ(whys[1], "");
  // A stream of unknown place cannot be told apart among several outputs.
  chosen = chooseStreams({{7, std::nullopt}}, {left, right}, whys);
  EXPECT_FALSE(chosen[0] || chosen[1]);
}

TEST(RestoreTokenFrom, DropsTheWhiteSpaceAroundTheTokenOnly) {
  EXPECT_EQ(restoreTokenFrom(" \t1b4e28ba-2fa1-11d2-883f-0016d3cca427\r\n\n"),
            "1b4e28ba-2fa1-11d2-883f-0016d3cca427");
  EXPECT_EQ(restoreTokenFrom("a b\n"), "a b");
  EXPECT_EQ(restoreTokenFrom("\n \n"), "");
}

TEST(PixelFormatOf, ReadsRedAndBlueFromTheirBytes) {
  const uint8_t pixel[] = {10, 20, 30, 255};
  for (const auto& [pixels, blue, red] :
       {std::tuple{StreamPixels::Bgrx, 10, 30}, std::tuple{StreamPixels::Bgra, 10, 30},
        std::tuple{StreamPixels::Rgbx, 30, 10}, std::tuple{StreamPixels::Rgba, 30, 10}}) {
    uint8_t out[4] = {};
    copyIntoFrame(pixel, 4, pixelFormatOf(pixels), 1, 1, out, 1, 0, 0);
    EXPECT_EQ(out[0], blue);
    EXPECT_EQ(out[1], 20);
    EXPECT_EQ(out[2], red);
  }
}

}  // namespace
}  // namespace corvane
