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
