#include "console/cursor_overlay.h"

#include <gtest/gtest.h>

namespace vantrel::cli {
namespace {

RgbImage grey(int width, int height) {
  return {width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width * height) * 3, 100)};
}

TEST(CursorOverlay, BlendsTheCursorOverTheScreenInWholeColumnGroups) {
  // 3 x 2: opaque red, half-transparent white, clear; then opaque blue, clear, clear.
  const CursorSprite sprite{3, 2, 1, 1, {0xFFFF0000, 0x80808080, 0, 0xFF0000FF, 0, 0}};
  struct Case {
    const char* name;
    ScreenPoint hot;
    PixelRect area;
  };
  for (const Case& c : std::vector<Case>{
           {"inside", {10, 10}, {8, 9, 4, 2}},
           {"across a column group", {7, 10}, {4, 9, 8, 2}},
           {"cut by the top left corner", {0, 0}, {0, 0, 4, 1}},
           {"cut by the bottom right corner", {16, 12}, {12, 11, 4, 1}},
       }) {
    OverlayPicture overlay;
    ASSERT_TRUE(composeCursor(grey(16, 12), sprite, c.hot, overlay)) << c.name;
    EXPECT_EQ(overlay.area, c.area) << c.name;
    ASSERT_EQ(overlay.rgb.size(), static_cast<std::size_t>(c.area.width * c.area.height) * 3) << c.name;
  }
  // One picture drawn over another: the larger one above leaves nothing of itself behind.
  OverlayPicture overlay;
  ASSERT_TRUE(composeCursor(grey(16, 12), sprite, {7, 10}, overlay));
  ASSERT_TRUE(composeCursor(grey(16, 12), sprite, {10, 10}, overlay));
  ASSERT_EQ(overlay.rgb.size(), 4u * 2u * 3u);
  const auto pixel = [&](int x, int y) {
    const auto* p = &overlay.rgb[static_cast<std::size_t>(((y - 9) * 4 + (x - 8)) * 3)];
    return std::vector<int>{p[0], p[1], p[2]};
  };
  EXPECT_EQ(pixel(9, 9), (std::vector<int>{255, 0, 0}));
  EXPECT_EQ(pixel(10, 9), (std::vector<int>{128 + 50, 128 + 50, 128 + 50}));
  EXPECT_EQ(pixel(11, 9), (std::vector<int>{100, 100, 100}));
  EXPECT_EQ(pixel(8, 9), (std::vector<int>{100, 100, 100})) << "outside the sprite, inside the group";
  EXPECT_EQ(pixel(9, 10), (std::vector<int>{0, 0, 255}));
  EXPECT_FALSE(composeCursor(grey(16, 12), sprite, {40, 40}, overlay));
}

}  // namespace
}  // namespace vantrel::cli
