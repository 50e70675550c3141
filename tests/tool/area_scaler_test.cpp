#include "console/area_scaler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace vantrel::cli {
namespace {

std::vector<std::uint8_t> gradient(ScreenSize s, int seed) {
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(s.width * s.height * 3));
  for (int y = 0; y < s.height; ++y) {
    for (int x = 0; x < s.width; ++x) {
      auto* p = &rgb[static_cast<std::size_t>((y * s.width + x) * 3)];
      p[0] = static_cast<std::uint8_t>(x * 7 + seed);
      p[1] = static_cast<std::uint8_t>(y * 3);
      p[2] = static_cast<std::uint8_t>((x * y + seed) & 0xFF);
    }
  }
  return rgb;
}

std::vector<std::uint8_t> scaled(const AreaScaler& scaler, const std::vector<std::uint8_t>& in, ScreenSize from,
                                 ScreenSize to) {
  std::vector<std::uint8_t> out(static_cast<std::size_t>(to.width * to.height * 3), 0);
  scaler.scale(in.data(), static_cast<std::size_t>(from.width) * 3, out.data(), static_cast<std::size_t>(to.width) * 3,
               {0, 0, to.width, to.height});
  return out;
}

TEST(AreaScaler, EachOutputPixelIsTheMeanOfTheAreaItCovers) {
  const ScreenSize from{12, 9}, to{5, 4};  // ratios 2.4 and 2.25: every pixel partly covered
  const auto in = gradient(from, 0);
  const auto out = scaled(AreaScaler(from, to), in, from, to);
  const double sx = 12.0 / 5, sy = 9.0 / 4;
  for (int y = 0; y < to.height; ++y) {
    for (int x = 0; x < to.width; ++x) {
      for (int c = 0; c < 3; ++c) {
        double sum = 0;
        for (int iy = 0; iy < from.height; ++iy) {
          for (int ix = 0; ix < from.width; ++ix) {
            const double wx = std::max(0.0, std::min(ix + 1.0, (x + 1) * sx) - std::max<double>(ix, x * sx));
            const double wy = std::max(0.0, std::min(iy + 1.0, (y + 1) * sy) - std::max<double>(iy, y * sy));
            sum += wx * wy * in[static_cast<std::size_t>((iy * from.width + ix) * 3 + c)];
          }
        }
        EXPECT_NEAR(out[static_cast<std::size_t>((y * to.width + x) * 3 + c)], sum / (sx * sy), 1.0)
            << x << "," << y << " channel " << c;
      }
    }
  }
}

TEST(AreaScaler, FlatAreasStayExactlyFlat) {
  const ScreenSize from{1920, 1080}, to{1024, 576};
  const std::vector<std::uint8_t> white(static_cast<std::size_t>(from.width * from.height * 3), 255);
  const auto out = scaled(AreaScaler(from, to), white, from, to);
  EXPECT_EQ(out, std::vector<std::uint8_t>(out.size(), 255));
}

TEST(AreaScaler, RescalingWhatAChangeAffectsMatchesAWholeRescale) {
  const ScreenSize from{1920, 1080}, to{1024, 576};
  const AreaScaler scaler(from, to);
  auto in = gradient(from, 0);
  auto out = scaled(scaler, in, from, to);
  for (const PixelRect change : {PixelRect{0, 0, 1, 1}, PixelRect{1919, 1079, 1, 1}, PixelRect{333, 517, 70, 3},
                                 PixelRect{15, 0, 1, 1080}}) {
    for (int y = change.y; y < change.y + change.height; ++y) {
      for (int x = change.x; x < change.x + change.width; ++x) in[static_cast<std::size_t>((y * from.width + x) * 3)] ^= 0xA5;
    }
    scaler.scale(in.data(), 1920 * 3, out.data(), 1024 * 3, scaler.affectedBy(change));
    ASSERT_EQ(out, scaled(scaler, in, from, to)) << change.x << "," << change.y;
  }
}

}  // namespace
}  // namespace vantrel::cli
