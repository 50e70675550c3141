// The PNG loader of the console's picture source: the fuzz target's seeds, one of each colour
// type, decode to plain RGB with transparency on black.
#include "png_image.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/fuzz_seeds.h"

namespace vantrel::cli {
namespace {

TEST(PngImage, FuzzSeedsDecodeToRgbOnBlack) {
  struct Expected {
    int width, height;
    std::vector<std::uint8_t> firstPixels;  // the first two
  };
  const std::map<std::string, Expected> expected = {
      {"grey16_2x2", {2, 2, {0, 0, 0, 255, 255, 255}}},
      {"palette_4x2_with_transparency", {4, 2, {0, 0, 0, 255, 0, 0}}},  // entry 0 is transparent
      {"rgb_3x2", {3, 2, {0, 1, 2, 3, 4, 5}}},
      {"rgba_2x2", {2, 2, {186, 0, 0, 0, 255, 0}}},  // half red on black, mixed in linear light
  };
  const auto seeds = testing::fuzzSeeds("fuzz_png");
  ASSERT_EQ(seeds.size(), expected.size());
  for (const auto& seed : seeds) {
    SCOPED_TRACE(seed.name);
    std::string error;
    const auto image = decodePng(seed.bytes, error);
    ASSERT_TRUE(image) << error;
    const Expected& e = expected.at(seed.name);
    EXPECT_EQ(image->width, e.width);
    EXPECT_EQ(image->height, e.height);
    EXPECT_EQ(std::vector<std::uint8_t>(image->rgb.begin(), image->rgb.begin() + 6), e.firstPixels);
    EXPECT_FALSE(decodePng(seed.bytes, error, e.width - 1)) << "wider than the bound";
  }
}

}  // namespace
}  // namespace vantrel::cli
