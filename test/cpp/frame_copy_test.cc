#include "capture/frame_copy.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace corvane {
namespace {

TEST(ClipToScreen, KeepsThePartOnScreen) {
  const PixelArea inside = clipToScreen({10, 20, 100, 50}, 1920, 1080);
  EXPECT_EQ(inside.x, 10);
  EXPECT_EQ(inside.width, 100);
  const PixelArea overRight = clipToScreen({1900, 1000, 100, 100}, 1920, 1080);
  EXPECT_EQ(overRight.width, 20);
  EXPECT_EQ(overRight.height, 80);
  const PixelArea overLeft = clipToScreen({-30, -5, 100, 10}, 1920, 1080);
  EXPECT_EQ(overLeft.x, 0);
  EXPECT_EQ(overLeft.y, 0);
  EXPECT_EQ(overLeft.width, 70);
  EXPECT_EQ(overLeft.height, 5);
  EXPECT_TRUE(clipToScreen({1920, 0, 10, 10}, 1920, 1080).empty());
  EXPECT_TRUE(clipToScreen({0, 0, 0, 10}, 1920, 1080).empty());
  // Corners far out must not overflow into a small positive area.
  EXPECT_EQ(clipToScreen({2147483000, 0, 2147483647, 10}, 1920, 1080).width, 0);
  EXPECT_EQ(clipToScreen({0, 0, 2147483647, 2147483647}, 1920, 1080).width, 1920);
}

TEST(CopyIntoFrame, CopiesBgrxRowsIntoPlaceAndLeavesTheRest) {
  // A 2 x 2 source with padded rows, into a 3 x 3 frame at (1, 1).
  const uint8_t source[] = {1, 2,  3,  4,  5,  6,  7,  8,  0xEE, 0xEE, 0xEE, 0xEE,  //
                            9, 10, 11, 12, 13, 14, 15, 16, 0xEE, 0xEE, 0xEE, 0xEE};
  std::vector<uint8_t> frame(3 * 3 * 4, 0xAA);
  copyIntoFrame(source, 12, PixelFormat{}, 2, 2, frame.data(), 3, 1, 1);
  EXPECT_EQ(frame[0], 0xAA);
  EXPECT_EQ(frame[(1 * 3 + 1) * 4 + 0], 1);
  EXPECT_EQ(frame[(1 * 3 + 2) * 4 + 3], 8);
  EXPECT_EQ(frame[(2 * 3 + 1) * 4 + 0], 9);
  EXPECT_EQ(frame[(2 * 3 + 2) * 4 + 2], 15);
  EXPECT_EQ(frame[(2 * 3 + 0) * 4 + 0], 0xAA);
}

TEST(CopyIntoFrame, ConvertsOtherFormatsChannelByChannel) {
  std::vector<uint8_t> frame(4);
  // 16-bit 5-6-5, least significant byte first: full red, half green, no blue.
  const uint16_t rgb565 = (31u << 11) | (32u << 5);
  const uint8_t little[] = {static_cast<uint8_t>(rgb565 & 0xff), static_cast<uint8_t>(rgb565 >> 8)};
  copyIntoFrame(little, 2, PixelFormat{16, 0xf800, 0x07e0, 0x001f, false}, 1, 1, frame.data(), 1, 0, 0);
  EXPECT_EQ(frame, (std::vector<uint8_t>{0, 130, 255, 0}));
  // 32-bit, most significant byte first: bytes X R G B.
  const uint8_t big[] = {0x77, 0x10, 0x20, 0x30};
  copyIntoFrame(big, 4, PixelFormat{32, 0xff0000, 0xff00, 0xff, true}, 1, 1, frame.data(), 1, 0, 0);
  EXPECT_EQ(frame, (std::vector<uint8_t>{0x30, 0x20, 0x10, 0}));
  // 24-bit packed, blue in the high byte.
  const uint8_t packed[] = {0x01, 0x02, 0x03};
  copyIntoFrame(packed, 3, PixelFormat{24, 0xff, 0xff00, 0xff0000, false}, 1, 1, frame.data(), 1, 0, 0);
  EXPECT_EQ(frame, (std::vector<uint8_t>{0x03, 0x02, 0x01, 0}));
  // 10 bits a channel (depth 30) narrowed to 8.
  const uint32_t deep = (1023u << 20) | (512u << 10) | 0u;
  const uint8_t deepBytes[] = {static_cast<uint8_t>(deep), static_cast<uint8_t>(deep >> 8),
                               static_cast<uint8_t>(deep >> 16), static_cast<uint8_t>(deep >> 24)};
  copyIntoFrame(deepBytes, 4, PixelFormat{32, 0x3ff00000, 0xffc00, 0x3ff, false}, 1, 1, frame.data(), 1, 0,
                0);
  EXPECT_EQ(frame, (std::vector<uint8_t>{0, 128, 255, 0}));
}

TEST(CopyIntoFrame, TellsTheNativeFormatApart) {
  EXPECT_TRUE(isBgrx(PixelFormat{}));
  EXPECT_FALSE(isBgrx(PixelFormat{32, 0xff0000, 0xff00, 0xff, true}));
  EXPECT_FALSE(isBgrx(PixelFormat{32, 0xff, 0xff00, 0xff0000, false}));
  EXPECT_FALSE(isBgrx(PixelFormat{24, 0xff0000, 0xff00, 0xff, false}));
}

}  // namespace
}  // namespace corvane
