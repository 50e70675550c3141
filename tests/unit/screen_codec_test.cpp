#include "screen/screen_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "fuzz/codec_checks.h"
#include "protocol/byte_io.h"

namespace vantrel {
namespace {

using Bytes = std::vector<std::uint8_t>;
using codec_checks::plainBlock;

constexpr std::uint32_t kH = 52;

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

Bytes repeat(std::size_t times, const Bytes& unit) {
  Bytes all;
  for (std::size_t k = 0; k < times; ++k) all.insert(all.end(), unit.begin(), unit.end());
  return all;
}

Bytes tail(const Bytes& block, std::size_t from) { return Bytes(block.begin() + static_cast<std::ptrdiff_t>(from), block.end()); }

std::int32_t encodeInto(const Bytes& plain, Bytes& out, std::uint32_t headerLength = kH) {
  out.assign(2 * plain.size(), 0);
  const std::int32_t result = ScreenCodec().encode(plain, out, headerLength);
  out.resize(result < 0 ? 0 : static_cast<std::size_t>(result));
  return result;
}

// A destination of `capacity` bytes with guard bytes either side that must stay untouched.
struct Guarded {
  static constexpr std::size_t kGuard = 16;
  explicit Guarded(std::size_t capacity) : bytes(capacity + 2 * kGuard, 0xEE) {}
  std::span<std::uint8_t> destination() { return std::span(bytes).subspan(kGuard, bytes.size() - 2 * kGuard); }
  bool guardsIntact() const {
    return std::all_of(bytes.begin(), bytes.begin() + kGuard, [](auto b) { return b == 0xEE; }) &&
           std::all_of(bytes.end() - kGuard, bytes.end(), [](auto b) { return b == 0xEE; });
  }
  Bytes bytes;
};

struct Golden {
  const char* name;
  std::int32_t width;
  std::uint16_t bitCount;
  Bytes pixels;
  Bytes stream;   // what encode writes after the header
  Bytes decoded;  // what decode of that gives back after the header
};

std::vector<Golden> goldens() {
  const Bytes row200 = repeat(200, {0x34, 0x12});
  // Second row: every pixel after the first equals its above-left neighbour only.
  Bytes aboveLeft(140);
  for (std::size_t j = 0; j < 70; ++j) aboveLeft[j] = static_cast<std::uint8_t>(j);
  for (std::size_t j = 1; j < 70; ++j) aboveLeft[70 + j] = static_cast<std::uint8_t>(j - 1);
  aboveLeft[70] = 200;
  Bytes firstRowFills;
  for (std::uint8_t j = 0; j < 70; ++j) firstRowFills.insert(firstRowFills.end(), {0x01, j});
  const Bytes lossy = {0xFF, 0x80, 0x10, 0x00, 0xF8, 0x80, 0x10, 0x00};
  return {
      {"six wide, second row one above-right run", 6, 8, {1, 2, 3, 4, 5, 6, 2, 3, 4, 5, 6, 2},
       {1, 1, 1, 2, 1, 3, 1, 4, 1, 5, 1, 6, 0x46}, {1, 2, 3, 4, 5, 6, 2, 3, 4, 5, 6, 2}},
      {"200 equal pixels, then the same row", 200, 16, repeat(2, row200),
       concat({repeat(3, {0x3F, 0x34, 0x12}), {0x0B, 0x34, 0x12, 0xBF, 0xBF, 0xBF, 0x8B}}), repeat(2, row200)},
      {"above-left runs, never at the row start", 70, 8, aboveLeft, concat({firstRowFills, {0x01, 200, 0xFF, 0xC6}}),
       aboveLeft},
      {"above-left before above-right, neither where not allowed", 3, 8, {5, 6, 5, 9, 5, 9},
       {1, 5, 1, 6, 1, 5, 1, 9, 0xC1, 1, 9}, {5, 6, 5, 9, 5, 9}},
      {"32-bit pixel reduced to 565", 1, 32, {0xFF, 0x80, 0x10, 0x00}, {0x01, 0x1F, 0x14}, {0x1F, 0x14}},
      {"32-bit pixels equal only after reduction", 2, 32, lossy, {1, 0x1F, 0x14, 1, 0x1F, 0x14}, {0x1F, 0x14, 0x1F, 0x14}},
      {"partial trailing row left uncoded", 2, 8, {7, 7, 7, 7, 9}, {0x02, 7, 0x82}, {7, 7, 7, 7}},
      {"biBitCount 40 codes no pixels", 2, 40, Bytes(20, 5), {}, {}},
  };
}

TEST(ScreenCodec, WorkedExamplesEncodeAndDecodeToExactBytes) {
  for (const auto& g : goldens()) {
    SCOPED_TRACE(g.name);
    const Bytes plain = plainBlock(g.width, g.bitCount, kH, g.pixels);
    Bytes coded;
    ASSERT_EQ(encodeInto(plain, coded), static_cast<std::int32_t>(kH + g.stream.size()));
    EXPECT_EQ(coded[3], '7');
    EXPECT_EQ(tail(coded, kH), g.stream);

    Bytes plainAgain(kH + g.decoded.size());
    ASSERT_EQ(ScreenCodec().decode(coded, plainAgain, kH), static_cast<std::int32_t>(plainAgain.size()));
    EXPECT_EQ(plainAgain[3], 0);
    EXPECT_EQ(tail(plainAgain, kH), g.decoded);
  }
}

TEST(ScreenCodec, ReductionRewritesOnlyDepthImageSizeAndMasks) {
  const Bytes plain = plainBlock(1, 32, kH, Bytes{0xFF, 0x80, 0x10, 0x00});
  Bytes coded;
  ASSERT_GT(encodeInto(plain, coded), 0);
  Bytes expected(plain.begin(), plain.begin() + kH);
  expected[3] = '7';
  storeU16le(expected.data() + 14, 16);
  storeU32le(expected.data() + 20, 2);
  for (std::uint32_t k = 0; k < 3; ++k) storeU32le(expected.data() + 40 + 4 * k, std::array{0xF800u, 0x07E0u, 0x1Fu}[k]);
  EXPECT_EQ(Bytes(coded.begin(), coded.begin() + kH), expected);
}

TEST(ScreenCodec, DecodesStreamsOnlyOtherWritersProduce) {
  struct Case { const char* name; std::int32_t width; std::uint16_t bitCount; Bytes stream; Bytes pixels; };
  const Case cases[] = {
      {"fill run of count 0 consumes its value", 4, 8, {0x00, 0xAA, 0x02, 0xBB}, {0xBB, 0xBB}},
      {"copy overlapping what it writes", 1, 16, {0x01, 0x11, 0x22, 0x83}, repeat(4, {0x11, 0x22})},
      {"4-byte pixels, 5-byte fill entries", 1, 32, {0x02, 1, 2, 3, 4, 0x81}, repeat(3, {1, 2, 3, 4})},
      {"3-byte pixels", 2, 24, {0x01, 1, 2, 3, 0x01, 4, 5, 6, 0x41, 0xC1}, {1, 2, 3, 4, 5, 6, 4, 5, 6, 1, 2, 3}},
      {"copies of count 0 with no row above them", 4, 8, {0x01, 0x05, 0x80, 0xC0, 0x40}, {0x05}},
      {"full copy runs in a row, far longer than the rows", 2, 16, concat({{0x02, 0x11, 0x22}, Bytes(5, 0xBF), {0x81}}),
       repeat(318, {0x11, 0x22})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes coded = plainBlock(c.width, c.bitCount, kH, c.stream);
    coded[3] = '7';
    Bytes out(kH + c.pixels.size());
    ASSERT_EQ(ScreenCodec().decode(coded, out, kH), static_cast<std::int32_t>(out.size()));
    EXPECT_EQ(tail(out, kH), c.pixels);
  }
}

TEST(ScreenCodec, RefusesWrongMarkerOrMissingDestinationWithoutWriting) {
  const Bytes plain = plainBlock(1, 8, kH, Bytes{1});
  Bytes coded;
  ASSERT_GT(encodeInto(plain, coded), 0);
  Bytes out(200, 0xEE);
  ScreenCodec codec;
  EXPECT_EQ(codec.encode(coded, out, kH), ScreenCodec::kAlreadyCompressed);
  EXPECT_EQ(codec.encode(plain, {}, kH), ScreenCodec::kAlreadyCompressed);
  EXPECT_EQ(codec.decode(plain, out, kH), ScreenCodec::kNotCompressed);
  EXPECT_EQ(codec.decode(coded, {}, kH), ScreenCodec::kNotCompressed);
  EXPECT_EQ(out, Bytes(200, 0xEE));
}

// Random pixels drawn so that every kind of entry occurs: repeats, copies from the three
// neighbours above, a few colours and noise.
Bytes screenLikePixels(std::size_t width, std::size_t count, std::size_t pixel, std::mt19937& rng) {
  Bytes px(count * pixel);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t choice = rng() % 6;
    std::size_t from = i;
    if (choice == 0 && i >= 1) {
      from = i - 1;
    } else if (choice >= 1 && choice <= 3 && i > width) {
      from = i - width - 2 + choice;  // above-left, above, above-right
    }
    for (std::size_t b = 0; b < pixel; ++b) {
      px[i * pixel + b] = from != i ? px[from * pixel + b] : static_cast<std::uint8_t>(choice == 4 ? rng() % 3 : rng());
    }
  }
  return px;
}

TEST(ScreenCodec, RoundTripsWholeRowsAtEveryDepthAndWidth) {
  // Depth selectors of the round-trip property: 8, 16, 24, 32 reduced, 32 kept.
  constexpr std::size_t kPixel[] = {1, 2, 3, 4, 4};
  std::mt19937 rng(7);
  for (std::uint8_t selector = 0; selector < std::size(kPixel); ++selector) {
    for (const std::size_t width : {1u, 2u, 63u, 64u, 65u, 1024u}) {
      SCOPED_TRACE(::testing::Message() << "depth selector " << int{selector} << ", width " << width);
      Bytes input = {selector, 0, 0};
      storeU16le(input.data() + 1, static_cast<std::uint16_t>(width - 1));
      // Four rows and a partial fifth.
      const Bytes pixels = screenLikePixels(width, 4 * width + width / 2, kPixel[selector], rng);
      input.insert(input.end(), pixels.begin(), pixels.end());
      EXPECT_TRUE(codec_checks::roundTripHolds(input));
    }
  }
}

TEST(ScreenCodec, RoundTripsRunsOfEveryKindStartingInsideARow) {
  // Runs shorter than, as long as and longer than what one look at the pixels covers, and
  // around the 63 of one entry; each starts a few pixels into the second row.
  constexpr std::size_t kPixel[] = {1, 2, 3, 4, 4};
  constexpr std::size_t kWidth = 200;
  constexpr std::size_t kStart = 5;
  const char* const kKinds[] = {"fill", "above", "above-left", "above-right"};
  std::mt19937 rng(11);
  for (std::uint8_t selector = 0; selector < std::size(kPixel); ++selector) {
    const std::size_t p = kPixel[selector];
    for (std::size_t kind = 0; kind < std::size(kKinds); ++kind) {
      for (const std::size_t length : {1u, 2u, 3u, 4u, 5u, 7u, 8u, 9u, 16u, 17u, 62u, 63u, 64u, 127u, 190u}) {
        SCOPED_TRACE(::testing::Message() << "depth selector " << int{selector} << ", " << kKinds[kind] << " run of "
                                          << length);
        Bytes px(2 * kWidth * p);
        std::generate(px.begin(), px.end(), [&] { return static_cast<std::uint8_t>(rng()); });
        const std::size_t back[] = {p, kWidth * p, (kWidth + 1) * p, (kWidth - 1) * p};
        for (std::size_t i = kWidth + kStart; i < kWidth + kStart + length; ++i) {
          const std::size_t from = kind == 0 ? (kWidth + kStart) * p : i * p - back[kind];
          std::copy_n(px.begin() + static_cast<std::ptrdiff_t>(from), p, px.begin() + static_cast<std::ptrdiff_t>(i * p));
        }
        Bytes input = {selector, 0, 0};
        storeU16le(input.data() + 1, static_cast<std::uint16_t>(kWidth - 1));
        input.insert(input.end(), px.begin(), px.end());
        EXPECT_TRUE(codec_checks::roundTripHolds(input));
      }
    }
  }
}

TEST(ScreenCodec, EncodeRefusesBlocksWithoutAWholeRowOrRoom) {
  struct Case {
    const char* name;
    std::int32_t width;
    std::size_t pixels;
    std::uint32_t headerLength;
    std::size_t room;
    std::int32_t expected;
  };
  // Two rows of four 16-bit pixels need 52 + 8 * 3 bytes at worst.
  const Case cases[] = {
      {"width 0", 0, 8, kH, 200, ScreenCodec::kMalformed},
      {"negative width", -4, 8, kH, 200, ScreenCodec::kMalformed},
      {"fewer pixels than one row", 9, 8, kH, 200, ScreenCodec::kMalformed},
      {"source shorter than the header", 4, 8, 80, 200, ScreenCodec::kMalformed},
      {"header shorter than an info header", 4, 8, 39, 200, ScreenCodec::kMalformed},
      {"destination one byte short of the worst case", 4, 8, kH, 75, ScreenCodec::kNoRoom},
      {"destination exactly the worst case", 4, 8, kH, 76, 52 + 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes plain = plainBlock(c.width, 16, kH, repeat(c.pixels, {1, 2}));
    Guarded out(c.room);
    EXPECT_EQ(ScreenCodec().encode(plain, out.destination(), c.headerLength), c.expected);
    EXPECT_TRUE(out.guardsIntact());
    if (c.expected < 0) {
      EXPECT_TRUE(std::all_of(out.bytes.begin(), out.bytes.end(), [](auto b) { return b == 0xEE; }));
    }
  }
}

// `count` single-pixel fill entries of `pixel`-byte values, every value different.
Bytes singleFills(std::size_t count, std::size_t pixel) {
  Bytes stream;
  for (std::size_t i = 0; i < count; ++i) {
    stream.push_back(1);
    for (std::size_t b = 0; b < pixel; ++b) stream.push_back(static_cast<std::uint8_t>(i * 7 + b));
  }
  return stream;
}

TEST(ScreenCodec, DecodeStopsHostileStreamsInsideTheDestination) {
  struct Case {
    const char* name;
    std::int32_t width;
    std::uint16_t bitCount;
    std::uint32_t headerLength;
    Bytes stream;
    std::size_t room;  // bytes after the header
    std::int32_t expected;
  };
  const Case cases[] = {
      {"copy run in the first row", 4, 8, kH, {0x01, 5, 0x81}, 8, ScreenCodec::kMalformed},
      {"above-left at index w", 2, 8, kH, {0x02, 5, 0xC1}, 8, ScreenCodec::kMalformed},
      {"above-right of width 1 is the pixel itself", 1, 8, kH, {0x01, 5, 0x41}, 8, ScreenCodec::kMalformed},
      {"copy with width 0", 0, 8, kH, {0x01, 5, 0x81}, 8, ScreenCodec::kMalformed},
      {"fill value cut short", 4, 16, kH, {0x01, 0x11, 0x22, 0x01, 0x33}, 8, ScreenCodec::kMalformed},
      {"fill one pixel past the room", 4, 16, kH, {0x05, 0x11, 0x22}, 8, ScreenCodec::kNoRoom},
      {"copy one pixel past the room", 4, 16, kH, {0x04, 0x11, 0x22, 0x81}, 8, ScreenCodec::kNoRoom},
      {"full copy runs one pixel past the room", 4, 16, kH, {0x04, 0x11, 0x22, 0xBF, 0xBF, 0x81}, 260,
       ScreenCodec::kNoRoom},
      {"exactly the room", 4, 16, kH, {0x04, 0x11, 0x22}, 8, kH + 8},
      // Long stretches of single fills are copied many at a time.
      {"single fills one pixel past the room", 4, 16, kH, singleFills(40, 2), 78, ScreenCodec::kNoRoom},
      {"single fills exactly the room", 4, 16, kH, singleFills(40, 2), 80, kH + 80},
      {"8-bit single fills one pixel past the room", 4, 8, kH, singleFills(40, 1), 39, ScreenCodec::kNoRoom},
      {"single fills, the last value cut short", 4, 16, kH, [] { Bytes b = singleFills(40, 2); b.pop_back(); return b; }(),
       80, ScreenCodec::kMalformed},
      {"header longer than the destination", 4, 8, 60, Bytes(8), 7, ScreenCodec::kNoRoom},
      {"header longer than the source", 4, 8, 60, {}, 200, ScreenCodec::kMalformed},
      {"header shorter than an info header", 4, 8, 39, {}, 200, ScreenCodec::kMalformed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes coded = plainBlock(c.width, c.bitCount, kH, c.stream);
    coded[3] = '7';
    Guarded out(kH + c.room);
    EXPECT_EQ(ScreenCodec().decode(coded, out.destination(), c.headerLength), c.expected);
    EXPECT_TRUE(out.guardsIntact());
  }
}

}  // namespace
}  // namespace vantrel
