#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "displays/monitor_list.h"

namespace corvane {
namespace {

struct RatioCase {
  int32_t width, height;
  int64_t aspectWidth, aspectHeight;
};

void PrintTo(const RatioCase& c, std::ostream* os) { *os << c.width << "x" << c.height; }

class AspectRatioTest : public ::testing::TestWithParam<RatioCase> {};

std::string caseName(const ::testing::TestParamInfo<RatioCase>& info) {
  auto side = [](int64_t v) { return (v < 0 ? "minus" : "") + std::to_string(v < 0 ? -v : v); };
  return side(info.param.width) + "x" + side(info.param.height);
}

TEST_P(AspectRatioTest, ReducesToLowestTerms) {
  const RatioCase& c = GetParam();
  const AspectRatio ratio = reduceAspectRatio(c.width, c.height);
  EXPECT_EQ(ratio.width, c.aspectWidth) << c.width << "x" << c.height;
  EXPECT_EQ(ratio.height, c.aspectHeight) << c.width << "x" << c.height;
}

INSTANTIATE_TEST_SUITE_P(CommonDisplays, AspectRatioTest,
                         ::testing::Values(RatioCase{1920, 1080, 16, 9}, RatioCase{2560, 1080, 64, 27},
                                           RatioCase{1366, 768, 683, 384}, RatioCase{1280, 1024, 5, 4},
                                           RatioCase{3440, 1440, 43, 18}, RatioCase{1440, 900, 8, 5},
                                           RatioCase{1080, 1920, 9, 16}, RatioCase{1021, 1021, 1, 1},
                                           RatioCase{1021, 1019, 1021, 1019}),
                         caseName);

// A display that could not be opened reports zero sizes: no division by zero.
INSTANTIATE_TEST_SUITE_P(ZeroSides, AspectRatioTest,
                         ::testing::Values(RatioCase{1920, 0, 1, 0}, RatioCase{0, 1080, 0, 1},
                                           RatioCase{0, 0, 0, 0}),
                         caseName);

// Values no real device reports, but that must not trap (INT_MIN % -1 overflows in 32 bits).
INSTANTIATE_TEST_SUITE_P(ExtremeValues, AspectRatioTest,
                         ::testing::Values(RatioCase{INT_MIN, -1, 2147483648LL, 1},
                                           RatioCase{INT_MIN, 0, 1, 0}, RatioCase{INT_MAX, INT_MAX, 1, 1}),
                         caseName);

}  // namespace
}  // namespace corvane
