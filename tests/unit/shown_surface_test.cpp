// The surface of the SDL and browser viewers reports what changed for its texture.
#include "screen/shown_surface.h"

#include <gtest/gtest.h>

#include <array>

#include "protocol/byte_io.h"

namespace vantrel {
namespace {

// A 2 x 2 top-down 32-bit bitmap of one colour.
struct Square {
  std::array<std::uint8_t, 40> info{};
  std::array<std::uint32_t, 4> pixels{};
  explicit Square(std::uint32_t colour) {
    storeU32le(&info[0], 40);
    storeU32le(&info[4], 2);
    storeU32le(&info[8], static_cast<std::uint32_t>(-2));
    info[12] = 1;
    info[14] = 32;
    pixels.fill(colour);
  }
  DibImage image() const { return {info, {reinterpret_cast<const std::uint8_t*>(pixels.data()), 16}}; }
};

TEST(ShownSurface, ReportsTheRectanglesDrawnAndANewSurfaceWhole) {
  ShownSurface surface;
  std::vector<SurfaceRect> rects;
  bool resized = false;
  std::uint32_t shown = 0;
  const auto take = [&] {
    rects.clear();
    return surface.takeChanges([&](const ShownSurface::Changes& c) {
      resized = c.resized;
      rects.assign(c.rects.begin(), c.rects.end());
      shown = c.pixels[4 * c.width + 3];
    });
  };
  surface.createSurface(16, 8);
  ASSERT_TRUE(take());
  EXPECT_TRUE(resized);
  EXPECT_FALSE(take());

  const Square red(0xFF0000);
  surface.drawToSurface({3, 4, 5, 6}, red.image(), RasterOp::Copy, {7, 7});  // the scroll is the viewer's
  surface.drawOverlay({14, 6, 16, 8}, red.image(), RasterOp::Copy, {});
  ASSERT_TRUE(take());
  EXPECT_FALSE(resized);
  EXPECT_EQ(rects, (std::vector<SurfaceRect>{{3, 4, 5, 6}, {14, 6, 16, 8}}));
  EXPECT_EQ(shown, 0xFF0000u);

  // Many small changes become the one rectangle around them.
  for (int i = 0; i <= static_cast<int>(ShownSurface::kMostRects); ++i) {
    surface.drawToSurface({i % 14, i % 6, i % 14 + 2, i % 6 + 2}, red.image(), RasterOp::Invert, {});
  }
  ASSERT_TRUE(take());
  EXPECT_EQ(rects, (std::vector<SurfaceRect>{{0, 0, 15, 7}}));
}

}  // namespace
}  // namespace vantrel
