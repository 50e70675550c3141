#include "console/x11/pixel_layout.h"

#include <gtest/gtest.h>

#include <array>

namespace vantrel::cli {
namespace {

TEST(PixelConverter, ReadsTheServersLayout) {
  struct Case {
    const char* name;
    PixelLayout layout;
    std::vector<std::uint8_t> native;  // two pixels
    std::array<std::uint8_t, 6> rgb;
  };
  for (const Case& c : std::vector<Case>{
           {"xrgb little-endian", {32, false, 0xFF0000, 0xFF00, 0xFF}, {0x30, 0x20, 0x10, 0, 0xFF, 0, 0x80, 0},
            {0x10, 0x20, 0x30, 0x80, 0x00, 0xFF}},
           {"xrgb big-endian", {32, true, 0xFF0000, 0xFF00, 0xFF}, {0, 0x10, 0x20, 0x30, 0, 0x80, 0, 0xFF},
            {0x10, 0x20, 0x30, 0x80, 0x00, 0xFF}},
           {"xbgr", {32, false, 0xFF, 0xFF00, 0xFF0000}, {0x10, 0x20, 0x30, 0, 0, 0, 0, 0}, {0x10, 0x20, 0x30, 0, 0, 0}},
           {"24 bits", {24, false, 0xFF0000, 0xFF00, 0xFF}, {0x30, 0x20, 0x10, 1, 2, 3}, {0x10, 0x20, 0x30, 3, 2, 1}},
           {"rgb565: full channels become 255", {16, false, 0xF800, 0x07E0, 0x001F}, {0xFF, 0xFF, 0x00, 0x80},
            {0xFF, 0xFF, 0xFF, 0x84, 0x00, 0x00}},
           {"rgb555", {16, false, 0x7C00, 0x03E0, 0x001F}, {0x1F, 0x00, 0xE0, 0x03}, {0, 0, 0xFF, 0, 0xFF, 0}},
           {"30-bit depth", {32, false, 0x3FF00000, 0xFFC00, 0x3FF}, {0xFF, 0xFF, 0xFF, 0x3F, 0, 0, 0xF0, 0x3F},
            {0xFF, 0xFF, 0xFF, 0xFF, 0, 0}},
       }) {
    const auto converter = PixelConverter::create(c.layout);
    ASSERT_TRUE(converter) << c.name;
    std::array<std::uint8_t, 6> out{};
    converter->convert(c.native.data(), 2, out.data());
    EXPECT_EQ(out, c.rgb) << c.name;
  }
}

TEST(PixelConverter, LongRowsOfTheCommonLayoutComeOutAsEachPixelAlone) {
  const auto converter = PixelConverter::create({32, false, 0xFF0000, 0xFF00, 0xFF});
  ASSERT_TRUE(converter);
  std::vector<std::uint8_t> native(4 * 37);
  for (std::size_t i = 0; i < native.size(); ++i) native[i] = static_cast<std::uint8_t>(i * 7 + 3);
  std::vector<std::uint8_t> row(3 * 37 + 1, 0xEE);
  converter->convert(native.data(), 37, row.data());
  for (std::size_t p = 0; p < 37; ++p) {
    std::array<std::uint8_t, 3> alone{};
    converter->convert(&native[4 * p], 1, alone.data());
    EXPECT_TRUE(std::equal(alone.begin(), alone.end(), row.begin() + static_cast<std::ptrdiff_t>(3 * p))) << p;
  }
  EXPECT_EQ(row.back(), 0xEE) << "nothing written past the row";
}

TEST(PixelConverter, RefusesLayoutsItCannotRead) {
  for (const PixelLayout& layout : std::vector<PixelLayout>{
           {8, false, 0xE0, 0x1C, 0x03},
           {16, false, 0xFF0000, 0xFF00, 0xFF},  // masks wider than the pixel
           {32, false, 0xFF0000, 0xFF0000, 0xFF},
           {32, false, 0xF0F000, 0xFF00, 0xFF},  // a gap
           {32, false, 0, 0xFF00, 0xFF},
       }) {
    EXPECT_FALSE(PixelConverter::create(layout)) << layout.bitsPerPixel << " " << std::hex << layout.redMask;
  }
}

}  // namespace
}  // namespace vantrel::cli
