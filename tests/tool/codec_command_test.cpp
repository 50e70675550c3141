// `vantrel codec` on BMP files as picture programs write them (a file header, rows padded to
// 4 bytes): encoded and decoded back to the same file, 32-bit pixels as RGB565; what the codec
// cannot take is refused with the reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bmp_file.h"
#include "protocol/byte_io.h"
#include "support/fuzz_seeds.h"
#include "support/temp_dir.h"
#include "tool/tool_process.h"

namespace vantrel::cli {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A BMP file with a 40-byte header: `row` gives each row's bytes, which are padded here.
Bytes bmpFile(int width, int height, unsigned bits, const std::function<Bytes(int)>& row, const Bytes& table = {},
              std::uint32_t compression = 0) {
  const std::size_t stride = (static_cast<std::size_t>(width) * bits + 31) / 32 * 4;
  const int rows = height < 0 ? -height : height;
  const std::size_t pixelsAt = 14 + 40 + table.size();
  Bytes file(pixelsAt + stride * static_cast<std::size_t>(rows), 0);
  file[0] = 'B';
  file[1] = 'M';
  storeU32le(&file[2], static_cast<std::uint32_t>(file.size()));
  storeU32le(&file[10], static_cast<std::uint32_t>(pixelsAt));
  std::uint8_t* info = &file[14];
  storeU32le(info, 40);
  storeU32le(info + 4, static_cast<std::uint32_t>(width));
  storeU32le(info + 8, static_cast<std::uint32_t>(height));
  storeU16le(info + 12, 1);
  storeU16le(info + 14, static_cast<std::uint16_t>(bits));
  storeU32le(info + 16, compression);
  storeU32le(info + 20, static_cast<std::uint32_t>(stride * static_cast<std::size_t>(rows)));
  storeU32le(info + 32, bits == 8 ? static_cast<std::uint32_t>(table.size() / 4) : 0);
  std::copy(table.begin(), table.end(), file.begin() + 54);
  for (int r = 0; r < rows; ++r) {
    const Bytes bytes = row(r);
    std::copy_n(bytes.begin(), std::min(bytes.size(), stride),
                file.begin() + static_cast<std::ptrdiff_t>(pixelsAt + stride * static_cast<std::size_t>(r)));
  }
  return file;
}

class CodecCommand : public ::testing::Test {
 protected:
  // encode IN, then decode to a .bmp with the header length encode printed.
  Bytes roundTrip(const Bytes& bmp) {
    dir.write("in.bmp", std::string(bmp.begin(), bmp.end()));
    const ToolRun encoded = runTool(dir, "codec encode '" + path("in.bmp") + "' '" + path("block") + "'");
    EXPECT_EQ(encoded.exitCode, 0) << encoded.err;
    const auto at = encoded.out.find("a header of ");
    if (at == std::string::npos) return {};
    const std::string length = std::to_string(std::stoul(encoded.out.substr(at + 12)));
    const ToolRun decoded =
        runTool(dir, "codec decode --header-length " + length + " '" + path("block") + "' '" + path("back.bmp") + "'");
    EXPECT_EQ(decoded.exitCode, 0) << decoded.err;
    const std::string back = dir.read("back.bmp");
    return Bytes(back.begin(), back.end());
  }
  std::string path(const char* name) const { return (dir.path() / name).string(); }

  test::TempDir dir;
};

TEST_F(CodecCommand, ABmpFileComesBackAsItWas) {
  // Widths whose rows need padding; a colour table; a picture stored top-down.
  const auto gradient = [](int width, unsigned bytesPerPixel) {
    return [=](int r) {
      Bytes row(static_cast<std::size_t>(width) * bytesPerPixel);
      for (std::size_t i = 0; i < row.size(); ++i) row[i] = static_cast<std::uint8_t>(static_cast<std::size_t>(r) * 37 + i * 11 + (i % 7 == 0));
      return row;
    };
  };
  Bytes table(4 * 16);
  for (std::size_t i = 0; i < table.size(); ++i) table[i] = static_cast<std::uint8_t>(i * 3);
  for (const Bytes& bmp : {bmpFile(5, 3, 24, gradient(5, 3)), bmpFile(3, 4, 8, gradient(3, 1), table),
                           bmpFile(7, -2, 16, gradient(7, 2)), bmpFile(64, 48, 24, gradient(64, 3))}) {
    const Bytes back = roundTrip(bmp);
    // A 16-bit one gains the masks that blocks carry; the pixels stay.
    if (loadU16le(&bmp[28]) == 16) {
      ASSERT_EQ(back.size(), bmp.size() + 12);
      EXPECT_TRUE(std::equal(bmp.begin() + 54, bmp.end(), back.begin() + 66));
      EXPECT_EQ(loadU32le(&back[14 + 40]), 0x7C00u);
    } else {
      EXPECT_EQ(back, bmp) << loadU16le(&bmp[28]) << " bits";
    }
  }
  // 32-bit pixels come back as RGB565, stated in the masks.
  const Bytes back = roundTrip(bmpFile(4, 2, 32, [](int) { return Bytes{0xFF, 0x80, 0x10, 0, 0xFF, 0x80, 0x10, 0}; }));
  ASSERT_EQ(back.size(), 14u + 52u + 2u * 8u);
  EXPECT_EQ(loadU16le(&back[14 + 14]), 16);
  EXPECT_EQ(loadU32le(&back[14 + 40]), 0xF800u);
  EXPECT_EQ(loadU16le(&back[66]), 0x141F);
}

// The fuzz target's seeds, replayed: each gives a block that goes back to a file of that block.
TEST(BmpFile, TheFuzzSeedsGoThereAndBack) {
  const auto seeds = testing::fuzzSeeds("fuzz_bmp");
  ASSERT_FALSE(seeds.empty());
  for (const auto& seed : seeds) {
    std::string error;
    const auto block = blockOfBmpFile(seed.bytes, error);
    ASSERT_TRUE(block) << seed.name << ": " << error;
    const auto again = blockOfBmpFile(bmpFileOfBlock(block->bytes, block->headerLength), error);
    ASSERT_TRUE(again) << seed.name << ": " << error;
    EXPECT_EQ(again->bytes, block->bytes) << seed.name;
  }
}

TEST_F(CodecCommand, WhatTheCodecCannotTakeIsRefusedWithTheReason) {
  const auto row = [](int) { return Bytes(8, 1); };
  Bytes cut = bmpFile(8, 8, 24, row);
  cut.pop_back();
  const struct {
    Bytes file;
    std::string options;
    const char* says;
  } cases[] = {
      {bmpFile(16, 2, 4, row), "", "it has 4 bits a pixel"},
      {bmpFile(8, 2, 8, row, Bytes(8), 1), "", "its pixels are compressed (biCompression 1)"},
      {cut, "", "it is cut short"},
      {bmpFile(8, 2, 24, row), "--header-length 54", "whose pixels follow a header of 40 bytes; leave out"},
  };
  for (const auto& c : cases) {
    dir.write("in.bmp", std::string(c.file.begin(), c.file.end()));
    const ToolRun run = runTool(dir, "codec encode " + c.options + " '" + path("in.bmp") + "' '" + path("out") + "'");
    EXPECT_EQ(run.exitCode, 1) << c.says;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
  }
  dir.write("plain", std::string(60, '\0'));
  const ToolRun noLength = runTool(dir, "codec encode '" + path("plain") + "' '" + path("out") + "'");
  EXPECT_NE(noLength.err.find("--header-length is needed"), std::string::npos) << noLength.err;
}

}  // namespace
}  // namespace vantrel::cli
