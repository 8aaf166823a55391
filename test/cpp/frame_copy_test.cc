#include "capture/frame_copy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
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

// One pixel of red 0x10, green 0x20, blue 0x30 as each format lays it out in memory. The frame's
// blue, green and red are checked: the native formats' fourth byte is copied as it is.
TEST(ShmPixelFormat, ReadsWhatEachWaylandFormatKeepsInMemory) {
  const auto code = [](const char(&name)[5]) {
    return static_cast<uint32_t>(name[0]) | static_cast<uint32_t>(name[1]) << 8 |
           static_cast<uint32_t>(name[2]) << 16 | static_cast<uint32_t>(name[3]) << 24;
  };
  const std::vector<uint8_t> bgr = {0x30, 0x20, 0x10};
  const struct {
    uint32_t format;
    std::vector<uint8_t> memory;
    std::vector<uint8_t> frame;
  } cases[] = {
      {0, {0x30, 0x20, 0x10, 0xff}, bgr},                       // ARGB8888
      {1, {0x30, 0x20, 0x10, 0x00}, bgr},                       // XRGB8888
      {code("AB24"), {0x10, 0x20, 0x30, 0xff}, bgr},            // ABGR8888
      {code("XB24"), {0x10, 0x20, 0x30, 0x00}, bgr},            // XBGR8888
      {code("RG24"), {0x30, 0x20, 0x10}, bgr},                  // RGB888
      {code("BG24"), {0x10, 0x20, 0x30}, bgr},                  // BGR888
      {code("RG16"), {0x00, 0xf8}, {0, 0, 255}},                // RGB565, full red
      {code("XR30"), {0x00, 0x02, 0xf0, 0x3f}, {128, 0, 255}},  // red 1023, blue 512
      {code("XB30"), {0xff, 0x03, 0x00, 0x20}, {128, 0, 255}},  // the same, red low
  };
  for (const auto& c : cases) {
    const std::optional<PixelFormat> format = shmPixelFormat(c.format);
    ASSERT_TRUE(format.has_value()) << c.format;
    EXPECT_EQ(static_cast<size_t>(format->bitsPerPixel / 8), c.memory.size()) << c.format;
    std::vector<uint8_t> frame(4, 0xAA);
    copyIntoFrame(c.memory.data(), c.memory.size(), *format, 1, 1, frame.data(), 1, 0, 0);
    EXPECT_EQ(std::vector<uint8_t>(frame.begin(), frame.begin() + 3), c.frame) << c.format;
  }
  // Only XRGB8888 and ARGB8888 can be handed out as they are.
  EXPECT_TRUE(isBgrx(*shmPixelFormat(0)));
  EXPECT_FALSE(isBgrx(*shmPixelFormat(code("XB24"))));
  EXPECT_FALSE(shmPixelFormat(code("NV12")).has_value());
  EXPECT_FALSE(shmPixelFormat(code("YUYV")).has_value());
}

// A 2 x 2 picture in XBGR8888: red grows to the right, green downwards.
TEST(CopyImageIntoFrame, TurnsFlippedImagesUprightAndSamplesScaledOnes) {
  const auto pixel = [](int x, int y) {
    return std::vector<uint8_t>{uint8_t(x * 100), uint8_t(y * 100), 7, 0};
  };
  const auto frameAt = [](const std::vector<uint8_t>& frame, int frameWidth, int x, int y) {
    const size_t at = (static_cast<size_t>(y) * frameWidth + x) * 4;
    // Blue, green, red of the frame as red, green, blue.
    return std::vector<uint8_t>{frame[at + 2], frame[at + 1], frame[at]};
  };
  const PixelFormat xbgr = *shmPixelFormat(0x34324258);
  // Rows 12 bytes apart, stored bottom row first.
  std::vector<uint8_t> flipped(2 * 12, 0xEE);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 2; ++x) {
      const auto p = pixel(x, y);
      std::copy(p.begin(), p.end(), flipped.begin() + (1 - y) * 12 + x * 4);
    }
  }
  std::vector<uint8_t> frame(3 * 3 * 4, 0);
  copyImageIntoFrame({flipped.data(), 12, xbgr, 2, 2, true}, 2, 2, frame.data(), 3);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 2; ++x)
      EXPECT_EQ(frameAt(frame, 3, x, y), (std::vector<uint8_t>{uint8_t(x * 100), uint8_t(y * 100), 7}));
  }
  EXPECT_EQ(frameAt(frame, 3, 2, 0), (std::vector<uint8_t>{0, 0, 0})) << "the frame past the area stays";

  // An output scaled by 2: a 4 x 4 image of a 2 x 2 area, each layout pixel a 2 x 2 block whose
  // top-left is taken.
  std::vector<uint8_t> scaled;
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      const auto p = x % 2 == 0 && y % 2 == 0 ? pixel(x / 2, y / 2) : std::vector<uint8_t>{1, 1, 1, 0};
      scaled.insert(scaled.end(), p.begin(), p.end());
    }
  }
  std::vector<uint8_t> small(2 * 2 * 4, 0);
  copyImageIntoFrame({scaled.data(), 16, xbgr, 4, 4, false}, 2, 2, small.data(), 2);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 2; ++x)
      EXPECT_EQ(frameAt(small, 2, x, y), (std::vector<uint8_t>{uint8_t(x * 100), uint8_t(y * 100), 7}));
  }
}

}  // namespace
}  // namespace corvane
