#include "capture/sampler.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <vector>

namespace corvane {
namespace {

struct SizeCase {
  int32_t width, height;
  uint64_t rate, size;
};

class SampledFrameSizeTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(SampledFrameSizeTest, FollowsTheGrid) {
  const SizeCase& c = GetParam();
  EXPECT_EQ(sampledFrameSize(c.width, c.height, c.rate), c.size);
}

INSTANTIATE_TEST_SUITE_P(WorkedSizes, SampledFrameSizeTest,
                         ::testing::Values(SizeCase{1920, 1080, 1, 6220800}, SizeCase{1920, 1080, 7, 127875},
                                           SizeCase{1920, 1080, 10, 62208}, SizeCase{3840, 2160, 16, 97200},
                                           SizeCase{100, 50, 200, 3}, SizeCase{0, 1080, 10, 0},
                                           SizeCase{1920, 0, 10, 0}, SizeCase{1, 1, 2147483647, 3},
                                           SizeCase{2147483647, 1, 2147483647, 3},
                                           SizeCase{2147483647, 1, 1073741824, 6}));

// Pixels whose four bytes say where they are: blue = x, green = y, red = x ^ y, reserved = 0xEE.
std::vector<uint8_t> positionPixels(int32_t width, int32_t height) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 4];
      p[0] = static_cast<uint8_t>(x);
      p[1] = static_cast<uint8_t>(y);
      p[2] = static_cast<uint8_t>(x ^ y);
      p[3] = 0xEE;
    }
  }
  return pixels;
}

TEST(SampleFrame, WritesRedGreenBlueOfEachBlocksTopLeftPixel) {
  const uint8_t pixel[4] = {0x10, 0x20, 0x30, 0xFF};
  uint8_t out[3] = {};
  sampleFrame(pixel, 1, 1, 1, out);
  EXPECT_EQ(out[0], 0x30);
  EXPECT_EQ(out[1], 0x20);
  EXPECT_EQ(out[2], 0x10);
}

TEST(SampleFrame, PicksPixelsOnTheGridOnly) {
  const std::vector<uint8_t> pixels = positionPixels(4, 2);
  std::vector<uint8_t> out(sampledFrameSize(4, 2, 2), 0x77);
  ASSERT_EQ(out.size(), 6u);
  sampleFrame(pixels.data(), 4, 2, 2, out.data());
  EXPECT_EQ(out, (std::vector<uint8_t>{0 ^ 0, 0, 0, 2 ^ 0, 0, 2}));
}

TEST(SampleFrame, LastSamplesOfA1080pFrameAtRate7) {
  const int32_t width = 1920, height = 1080;
  const std::vector<uint8_t> pixels = positionPixels(width, height);
  std::vector<uint8_t> out(sampledFrameSize(width, height, 7));
  sampleFrame(pixels.data(), width, height, 7, out.data());
  // Last sample: x = 1918, y = 1078.
  const uint8_t* last = &out[out.size() - 3];
  EXPECT_EQ(last[2], static_cast<uint8_t>(1918));
  EXPECT_EQ(last[1], static_cast<uint8_t>(1078));
  EXPECT_EQ(last[0], static_cast<uint8_t>(1918 ^ 1078));
  // First sample of the second row: x = 0, y = 7.
  EXPECT_EQ(out[275 * 3 + 1], 7);
}

TEST(SampleFrame, EveryPixelAtRate1InRowOrder) {
  const std::vector<uint8_t> pixels = positionPixels(5, 3);
  std::vector<uint8_t> out(sampledFrameSize(5, 3, 1));
  sampleFrame(pixels.data(), 5, 3, 1, out.data());
  for (int32_t y = 0; y < 3; ++y) {
    for (int32_t x = 0; x < 5; ++x) {
      const uint8_t* s = &out[(static_cast<size_t>(y) * 5 + x) * 3];
      EXPECT_EQ(s[0], x ^ y);
      EXPECT_EQ(s[1], y);
      EXPECT_EQ(s[2], x);
    }
  }
}

TEST(SampleFrame, RateLargerThanTheDisplayTakesTheTopLeftPixel) {
  const std::vector<uint8_t> pixels = positionPixels(100, 50);
  uint8_t out[3] = {1, 2, 3};
  sampleFrame(pixels.data(), 100, 50, 200, out);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 0);
  EXPECT_EQ(out[2], 0);
}

TEST(SampleFrame, WritesNothingForEmptySidesOrMissingPixels) {
  uint8_t out[3] = {9, 9, 9};
  const uint8_t pixel[4] = {1, 2, 3, 4};
  sampleFrame(pixel, 0, 1, 1, out);
  sampleFrame(pixel, 1, 0, 1, out);
  sampleFrame(nullptr, 1, 1, 1, out);
  EXPECT_EQ(out[0], 9);
  EXPECT_EQ(out[2], 9);
}

// Bytes that differ from their neighbours and from row to row, so that a sample taken from the
// wrong pixel or channel shows.
std::vector<uint8_t> noisePixels(int32_t width, int32_t height) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
  uint32_t state = 0x9E3779B9u ^ static_cast<uint32_t>(width * 7919 + height);
  for (uint8_t& byte : pixels) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<uint8_t>(state >> 24);
  }
  return pixels;
}

// Every vector path writes what the plain one writes, for sides around the vectors' blocks (16
// and 32 pixels, twice that at rate 2) and rates on and off the vector paths. Buffers have their
// exact sizes, so under ASan a read or write past either end fails the test.
TEST(SampleFrame, EveryPathThatRunsWritesWhatThePlainOneWrites) {
  const std::vector<int32_t> widths = {1,  2,  3,  4,  5,  7,  8,  15, 16,  17,
                                       31, 32, 33, 63, 64, 65, 66, 97, 129, 1920};
  const std::vector<int32_t> heights = {1, 2, 3, 4, 5, 7, 9};
  const std::vector<uint64_t> rates = {1, 2, 3, 4, 5, 16, 100};
  int compared = 0;
  for (const SamplerPath path : {SamplerPath::Ssse3, SamplerPath::Avx2, SamplerPath::Neon}) {
    if (!samplerPathRuns(path)) continue;
    for (const int32_t width : widths) {
      for (const int32_t height : heights) {
        const std::vector<uint8_t> pixels = noisePixels(width, height);
        for (const uint64_t rate : rates) {
          const size_t size = sampledFrameSize(width, height, rate);
          auto plain = std::make_unique<uint8_t[]>(size);
          auto vectors = std::make_unique<uint8_t[]>(size);
          sampleFrameOn(SamplerPath::Plain, pixels.data(), width, height, rate, plain.get());
          sampleFrameOn(path, pixels.data(), width, height, rate, vectors.get());
          ASSERT_EQ(std::memcmp(plain.get(), vectors.get(), size), 0)
              << "path " << static_cast<int>(path) << ", " << width << " x " << height << " at rate " << rate;
          ++compared;
        }
      }
    }
  }
  // Only the first x86-64 processors lack SSSE3, and every AArch64 one has NEON; elsewhere this
  // test has nothing to compare.
  EXPECT_GT(compared, 0) << "no vector path runs on this processor";
}

// What a grab of the sampled rows alone hands over gives the frame of the whole picture.
TEST(SampleColumns, OfTheSampledRowsGivesTheWholePicturesFrame) {
  for (const int32_t width : {1, 15, 33, 97, 1920}) {
    const int32_t height = 37;
    const std::vector<uint8_t> pixels = noisePixels(width, height);
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    for (uint64_t rate = 1; rate <= 17; ++rate) {
      std::vector<uint8_t> rows;
      for (size_t y = 0; y < static_cast<size_t>(height); y += rate) {
        rows.insert(rows.end(), pixels.begin() + static_cast<std::ptrdiff_t>(y * rowBytes),
                    pixels.begin() + static_cast<std::ptrdiff_t>((y + 1) * rowBytes));
      }
      const size_t size = sampledFrameSize(width, height, rate);
      auto whole = std::make_unique<uint8_t[]>(size);
      auto picked = std::make_unique<uint8_t[]>(size);
      sampleFrame(pixels.data(), width, height, rate, whole.get());
      sampleColumns(rows.data(), width, static_cast<int32_t>(rows.size() / rowBytes), rate, picked.get());
      ASSERT_EQ(std::memcmp(whole.get(), picked.get(), size), 0) << width << " wide at rate " << rate;
    }
  }
}

TEST(CaptureSizeFits, BoundsThePixelBufferToASigned32BitCount) {
  EXPECT_TRUE(captureSizeFits(0, 0));
  EXPECT_TRUE(captureSizeFits(0, INT32_MAX));
  EXPECT_TRUE(captureSizeFits(3840, 2160));
  EXPECT_TRUE(captureSizeFits(536870911, 1));  // 2147483644 bytes
  EXPECT_FALSE(captureSizeFits(536870912, 1));
  EXPECT_TRUE(captureSizeFits(23170, 23170));
  EXPECT_FALSE(captureSizeFits(23171, 23171));
  EXPECT_FALSE(captureSizeFits(-1, 10));
  EXPECT_FALSE(captureSizeFits(10, -1));
  EXPECT_FALSE(captureSizeFits(INT32_MAX, INT32_MAX));
}

TEST(SampledFrame, ZeroedHoldsZeroBytes) {
  SampledFrame frame = SampledFrame::zeroed(62208);
  ASSERT_TRUE(frame.allocated());
  EXPECT_EQ(frame.size, 62208u);
  std::vector<uint8_t> zeros(62208);
  EXPECT_EQ(std::memcmp(frame.bytes.get(), zeros.data(), zeros.size()), 0);
}

}  // namespace
}  // namespace corvane
