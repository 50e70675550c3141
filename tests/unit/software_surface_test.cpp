#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <functional>
#include <vector>

#include "protocol/byte_io.h"
#include "screen/dib_format.h"
#include "screen/software_surface.h"
#include "support/screen_messages.h"

namespace vantrel {
namespace {

using testing::bitmapInfo;
using testing::Bytes;
using Pixels = std::vector<std::uint32_t>;

Bytes masks(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
  Bytes m(12);
  storeU32le(m.data(), red);
  storeU32le(m.data() + 4, green);
  storeU32le(m.data() + 8, blue);
  return m;
}

Bytes quads(std::initializer_list<std::uint32_t> colours) {  // 0x00RRGGBB as RGBQUADs
  Bytes out;
  for (const auto c : colours) {
    out.insert(out.end(), {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8),
                           static_cast<std::uint8_t>(c >> 16), 0x99});
  }
  return out;
}

// Hand-made bitmaps drawn with SRCCOPY at (0, 0) of a 3 x 2 target, against the pixels GDI
// shows for them on a 32-bit display.
TEST(SoftwareSurfaceDib, HandMadeBitmapsDrawAsGdiDrawsThem) {
  struct Row {
    const char* name;
    Bytes info;
    Bytes pixels;
    std::int32_t width, height;
    Pixels expected;  // 3 x 2, top row first
  };
  const std::vector<Row> rows = {
      {"24-bit bottom-up: rows padded to 4, the first stored row is the bottom one",
       bitmapInfo(1, 2, 24), {1, 2, 3, 0xEE, 4, 5, 6, 0xEE}, 1, 2, {0x060504, 0, 0, 0x030201, 0, 0}},
      {"24-bit top-down: the first stored row is the top one",
       bitmapInfo(1, -2, 24), {1, 2, 3, 0xEE, 4, 5, 6, 0xEE}, 1, 2, {0x030201, 0, 0, 0x060504, 0, 0}},
      {"16-bit BI_BITFIELDS 565: fields widened by repeating their high bits",
       bitmapInfo(3, 1, 16, DibFormat::kBitfields, 0, masks(0xF800, 0x07E0, 0x001F)),
       {0x00, 0xF8, 0xE0, 0x07, 0x10, 0x84, 0xEE, 0xEE}, 3, 1, {0xFF0000, 0x00FF00, 0x848284, 0, 0, 0}},
      {"16-bit BI_BITFIELDS 555 masks",
       bitmapInfo(2, 1, 16, DibFormat::kBitfields, 0, masks(0x7C00, 0x03E0, 0x001F)),
       {0x00, 0x7C, 0x1F, 0x00}, 2, 1, {0xFF0000, 0x0000FF, 0, 0, 0, 0}},
      {"16-bit BI_RGB is 555",
       bitmapInfo(2, 1, 16), {0xE0, 0x03, 0x10, 0x42}, 2, 1, {0x00FF00, 0x848484, 0, 0, 0, 0}},
      {"32-bit BI_RGB: the fourth byte is not colour",
       bitmapInfo(1, 1, 32), {0x33, 0x22, 0x11, 0xAB}, 1, 1, {0x112233, 0, 0, 0, 0, 0}},
      {"32-bit BI_BITFIELDS with swapped red and blue masks",
       bitmapInfo(1, 1, 32, DibFormat::kBitfields, 0, masks(0x0000FF, 0x00FF00, 0xFF0000)),
       {0x33, 0x22, 0x11, 0x00}, 1, 1, {0x332211, 0, 0, 0, 0, 0}},
      {"8-bit with a two-colour table: an index past it is black",
       bitmapInfo(3, 1, 8, 0, 2, quads({0x102030, 0xA0B0C0})), {1, 0, 2, 0xEE}, 3, 1,
       {0xA0B0C0, 0x102030, 0, 0, 0, 0}},
      {"4-bit: the high nibble is the left pixel",
       bitmapInfo(3, 1, 4, 0, 4, quads({0, 0x111111, 0x222222, 0x333333})), {0x12, 0x30, 0xEE, 0xEE}, 3, 1,
       {0x111111, 0x222222, 0x333333, 0, 0, 0}},
      {"1-bit: the high bit is the left pixel",
       bitmapInfo(3, 1, 1, 0, 0, quads({0x0000FF, 0xFFFFFF})), {0xA0, 0, 0, 0}, 3, 1,
       {0xFFFFFF, 0x0000FF, 0xFFFFFF, 0, 0, 0}},
      {"bottom-up, source shorter than the bitmap: its origin is the lower-left corner",
       bitmapInfo(1, 3, 32), {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0}, 1, 2, {0x000002, 0, 0, 0x000001, 0, 0}},
      {"source wider and taller than a bottom-up bitmap: only the bitmap is drawn, at the bottom",
       bitmapInfo(1, 1, 32), {7, 0, 0, 0}, 3, 2, {0, 0, 0, 0x000007, 0, 0}},
      {"clipped to the target", bitmapInfo(4, -3, 8, 0, 1, quads({0x0A0B0C})), Bytes(12, 0), 4, 3,
       {0x0A0B0C, 0x0A0B0C, 0x0A0B0C, 0x0A0B0C, 0x0A0B0C, 0x0A0B0C}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Pixels target(6, 0);
    SoftwareSurface::drawDib(target, 3, 2, 0, 0, row.width, row.height, {row.info, row.pixels}, RasterOp::Copy);
    EXPECT_EQ(target, row.expected);
  }
}

// A field widened to 8 bits the long way: bit by bit, repeating the field from its top.
std::uint32_t widenedField(std::uint32_t pixel, std::uint32_t mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const int bits = std::countr_one(mask >> shift);
  const std::uint32_t value = (pixel & mask) >> shift;
  std::uint32_t out = 0;
  for (int i = 0; i < 8; ++i) out = out << 1 | ((bits >= 8 ? value >> (bits - 1 - i) : value >> (bits - 1 - i % bits)) & 1);
  return out;
}

// Whole rows of 16-bit pixels, long enough for the vector path and its scalar tail, drawn
// with every field layout a display or a peer may declare, both raster operations.
TEST(SoftwareSurfaceDib, SixteenBitRowsWidenEveryFieldLayout) {
  const std::vector<std::array<std::uint32_t, 3>> layouts = {
      {0xF800, 0x07E0, 0x001F}, {0x7C00, 0x03E0, 0x001F}, {0x0F00, 0x00F0, 0x000F},
      {0x001F, 0x07E0, 0xF800}, {0x8000, 0x7FF0, 0x000F}, {0xE000, 0x1C00, 0x0000}};
  constexpr std::int32_t kRow = 21;
  for (const auto& [red, green, blue] : layouts) {
    SCOPED_TRACE(::testing::Message() << std::hex << red << " " << green << " " << blue);
    Bytes pixels;
    for (std::uint32_t k = 0; k < 2 * kRow; ++k) {  // two rows, padded to 4 bytes
      const auto value = static_cast<std::uint16_t>(k * 0x9E37u ^ k << 11);
      pixels.insert(pixels.end(), {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)});
      if (k % kRow == kRow - 1) pixels.insert(pixels.end(), {0, 0});
    }
    const Bytes info = bitmapInfo(kRow, -2, 16, DibFormat::kBitfields, 0, masks(red, green, blue));
    Pixels expected(2 * kRow);
    for (std::size_t k = 0; k < expected.size(); ++k) {
      const std::uint32_t p = loadU16le(pixels.data() + 2 * (k + k / kRow));
      expected[k] = widenedField(p, red) << 16 | widenedField(p, green) << 8 | widenedField(p, blue);
    }
    Pixels target(expected.size(), 0);
    SoftwareSurface::drawDib(target, kRow, 2, 0, 0, kRow, 2, {info, pixels}, RasterOp::Copy);
    EXPECT_EQ(target, expected);
    SoftwareSurface::drawDib(target, kRow, 2, 0, 0, kRow, 2, {info, pixels}, RasterOp::Invert);
    EXPECT_EQ(target, Pixels(expected.size(), 0));
  }
}

TEST(SoftwareSurfaceDib, ExclusiveOrTwiceRestoresAndCopyReplaces) {
  const Bytes info = bitmapInfo(2, -1, 32);
  const Bytes pixels = {0xFF, 0x00, 0x0F, 0x00, 0x01, 0x02, 0x03, 0x00};
  const Pixels before = {0x123456, 0xABCDEF};
  Pixels target = before;
  SoftwareSurface::drawDib(target, 2, 1, 0, 0, 2, 1, {info, pixels}, RasterOp::Invert);
  EXPECT_EQ(target, (Pixels{0x123456 ^ 0x0F00FF, 0xABCDEF ^ 0x030201}));
  SoftwareSurface::drawDib(target, 2, 1, 0, 0, 2, 1, {info, pixels}, RasterOp::Invert);
  EXPECT_EQ(target, before);
  SoftwareSurface::drawDib(target, 2, 1, 0, 0, 2, 1, {info, pixels}, RasterOp::Copy);
  EXPECT_EQ(target, (Pixels{0x0F00FF, 0x030201}));
}

TEST(SoftwareSurfaceDib, DrawsNothingFromABitmapItCannotHoldWhole) {
  const Pixels untouched(4, 0x55);
  struct Row { const char* name; Bytes info; std::size_t pixelBytes; };
  const std::vector<Row> rows = {
      {"rows short of the declared height", bitmapInfo(2, 2, 32), 15},
      {"bit fields without their masks", bitmapInfo(2, 2, 16, DibFormat::kBitfields), 8},
      {"colour table cut short", bitmapInfo(2, 2, 8), 8},
      {"run-length compression", bitmapInfo(2, 2, 8, 1, 0, Bytes(1024)), 8},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Pixels target = untouched;
    const Bytes pixels(row.pixelBytes, 0xFF);
    SoftwareSurface::drawDib(target, 2, 2, 0, 0, 2, 2, {row.info, pixels}, RasterOp::Copy);
    EXPECT_EQ(target, untouched);
  }
}

TEST(SoftwareSurface, DrawsIntoTheSurfaceAndCopiesToTheScrolledWindow) {
  SoftwareSurface s;
  ASSERT_EQ(s.createSurface(4, 4), SurfaceResult::Created);
  Bytes format(1064);
  storeU16le(format.data() + 14, 0);
  ASSERT_TRUE(s.querySurfaceFormat(format));
  EXPECT_EQ(loadU16le(format.data() + 14), 32);

  const Bytes info = bitmapInfo(2, -2, 32);
  const Bytes pixels(16, 0x40);
  ASSERT_TRUE(s.drawToSurface({2, 2, 4, 4}, {info, pixels}, RasterOp::Copy, {1, 1}));
  EXPECT_EQ(s.pixel(3, 3), 0x404040u);
  EXPECT_EQ(s.windowPixel(1, 1), 0x404040u);  // surface (2, 2) seen through a scroll of (1, 1)
  EXPECT_EQ(s.windowPixel(3, 3), 0u);

  // An overlay lands on the window only, and restoring the area takes it away again.
  ASSERT_TRUE(s.drawOverlay({0, 0, 2, 2}, {info, Bytes(16, 0x11)}, RasterOp::Copy, {0, 0}));
  EXPECT_EQ(s.windowPixel(0, 0), 0x111111u);
  EXPECT_EQ(s.pixel(0, 0), 0u);
  ASSERT_TRUE(s.restoreWindowArea({0, 0, 2, 2}, {0, 0}));
  EXPECT_EQ(s.windowPixel(0, 0), 0u);

  ASSERT_TRUE(s.clearRect({3, 3, 9, 9}));
  EXPECT_EQ(s.pixel(3, 3), 0u);
  EXPECT_EQ(s.pixel(2, 2), 0x404040u);
}

// The page's window keeps the canvas's byte order (red, green, blue, 255); whatever is drawn, it
// must show what the window of the surface's own order shows, overlays by exclusive-or included.
TEST(SoftwareSurface, AWindowInTheCanvasOrderShowsWhatTheOtherShows) {
  SoftwareSurface plain;
  SoftwareSurface canvas(SoftwareSurface::WindowOrder::Canvas);
  const auto inCanvasOrder = [](std::uint32_t p) {
    return 0xFF000000u | (p & 0xFFu) << 16 | (p & 0xFF00u) | (p >> 16 & 0xFFu);
  };
  const Bytes info = bitmapInfo(3, 2, 32);
  const Bytes colours = {0x10, 0x20, 0x30, 0, 0x01, 0x02, 0x03, 0, 0xF0, 0x0F, 0xAA, 0,
                         0x05, 0x06, 0x07, 0, 0x80, 0x90, 0xA0, 0, 0xFF, 0xEE, 0xDD, 0};
  struct Step {
    const char* name;
    std::function<void(SoftwareSurface&)> run;
  };
  const DibImage image{info, colours};
  const std::vector<Step> steps = {
      {"created", [](SoftwareSurface& s) { s.createSurface(7, 5); }},
      {"copied, scrolled", [&](SoftwareSurface& s) { s.drawToSurface({1, 1, 4, 3}, image, RasterOp::Copy, {1, 0}); }},
      {"exclusive-or", [&](SoftwareSurface& s) { s.drawToSurface({3, 2, 6, 4}, image, RasterOp::Invert, {}); }},
      {"overlay by exclusive-or, half outside",
       [&](SoftwareSurface& s) { s.drawOverlay({5, 3, 8, 5}, image, RasterOp::Invert, {}); }},
      {"overlay copied", [&](SoftwareSurface& s) { s.drawOverlay({0, 0, 3, 2}, image, RasterOp::Copy, {}); }},
      {"overlay restored", [](SoftwareSurface& s) { s.restoreWindowArea({0, 0, 3, 2}, {}); }},
      {"cleared and painted",
       [](SoftwareSurface& s) {
         s.clearRect({0, 0, 3, 3});
         s.paintWindow(nullptr, 7, 5, {}, false);
       }},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    step.run(plain);
    step.run(canvas);
    ASSERT_EQ(canvas.windowPixels().size(), plain.windowPixels().size());
    for (std::size_t i = 0; i < plain.windowPixels().size(); ++i) {
      ASSERT_EQ(canvas.windowPixels()[i], inCanvasOrder(plain.windowPixels()[i])) << "pixel " << i;
    }
    EXPECT_TRUE(std::ranges::equal(canvas.pixels(), plain.pixels()));
  }
}

TEST(SoftwareSurface, RefusesSurfacesNoDisplayWouldHold) {
  SoftwareSurface s;
  EXPECT_EQ(s.createSurface(65535, 65535), SurfaceResult::NoBitmap);
  EXPECT_EQ(s.createSurface(0, 10), SurfaceResult::NoBitmap);
  Bytes format(1064);
  EXPECT_FALSE(s.querySurfaceFormat(format));
  EXPECT_FALSE(s.drawToSurface({0, 0, 1, 1}, {bitmapInfo(1, 1, 32), Bytes(4)}, RasterOp::Copy, {}));
}

}  // namespace
}  // namespace vantrel
