#pragma once
// Properties of the screen codec that must hold for any input, checked by the fuzz targets
// and by the unit test that replays their seed corpus. Each returns false when the property
// fails; writes out of bounds are the sanitizers' to catch, which is why every destination
// is allocated at exactly the size under test.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
#include <vector>

#include "protocol/byte_io.h"
#include "screen/screen_codec.h"

namespace vantrel::codec_checks {

// A plain block: an info header for `width` and `bitCount`, the rest of the header (masks or
// colour table) patterned so that copying it is visible, then the pixels.
inline std::vector<std::uint8_t> plainBlock(std::int32_t width, std::uint16_t bitCount,
                                            std::uint32_t headerLength,
                                            std::span<const std::uint8_t> pixels) {
  std::vector<std::uint8_t> block(headerLength);
  for (std::size_t k = 0; k < block.size(); ++k) block[k] = static_cast<std::uint8_t>(0x90 + k);
  storeU32le(block.data(), 40);
  storeU32le(block.data() + 4, static_cast<std::uint32_t>(width));
  storeU16le(block.data() + 14, bitCount);
  storeU32le(block.data() + 20, static_cast<std::uint32_t>(pixels.size()));
  block.insert(block.end(), pixels.begin(), pixels.end());
  return block;
}

// Input: u16 destination capacity, u16 header length, then the block. Decoding must give a
// documented failure or a length inside the destination that covers the header.
inline bool decodeStaysBounded(std::span<const std::uint8_t> data) {
  if (data.size() < 4) return true;
  const std::size_t capacity = loadU16le(data.data());
  const std::uint32_t headerLength = loadU16le(data.data() + 2);
  std::vector<std::uint8_t> out(capacity);
  ScreenCodec codec;
  const std::int32_t result = codec.decode(data.subspan(4), out, headerLength);
  if (result < 0) {
    return result == ScreenCodec::kNotCompressed || result == ScreenCodec::kMalformed ||
           result == ScreenCodec::kNoRoom;
  }
  const auto length = static_cast<std::size_t>(result);
  return length >= headerLength && length <= capacity && out[3] == 0;
}

// The coded stream of `pixels` written the slow, literal way, pixel by pixel and test by
// test, for comparison with the encoder's.
inline std::vector<std::uint8_t> literalStream(std::span<const std::uint8_t> pixels, std::size_t width,
                                               std::size_t pixel, bool reduce) {
  const std::size_t count = pixels.size() / pixel;
  const auto same = [&](std::size_t a, std::size_t b) {
    return std::equal(pixels.begin() + static_cast<std::ptrdiff_t>(a * pixel),
                      pixels.begin() + static_cast<std::ptrdiff_t>((a + 1) * pixel),
                      pixels.begin() + static_cast<std::ptrdiff_t>(b * pixel));
  };
  std::vector<std::uint8_t> out;
  const auto fill = [&](std::size_t i, std::size_t rowEnd) {
    std::size_t n = 1;
    while (n < 63 && i + n < rowEnd && same(i + n, i)) ++n;
    out.push_back(static_cast<std::uint8_t>(n));
    const std::uint8_t* value = pixels.data() + i * pixel;
    if (reduce) {
      const std::uint16_t packed = ScreenCodec::pack565(loadU32le(value));
      out.insert(out.end(), {static_cast<std::uint8_t>(packed), static_cast<std::uint8_t>(packed >> 8)});
    } else {
      out.insert(out.end(), value, value + pixel);
    }
    return n;
  };
  // Run from i of pixels equal to the one `back` before each, within the row.
  const auto copy = [&](std::size_t i, std::size_t rowEnd, std::size_t back) {
    std::size_t n = 0;
    while (n < 63 && i + n < rowEnd && same(i + n, i + n - back)) ++n;
    return n;
  };
  std::size_t i = 0;
  while (i < width) i += fill(i, width);
  for (std::size_t rowEnd = 2 * width; rowEnd <= count; rowEnd += width) {
    while (i < rowEnd) {
      std::size_t n = copy(i, rowEnd, width);
      std::uint8_t code = 0x80;
      if (n == 0 && i > rowEnd - width) {
        n = copy(i, rowEnd, width + 1);
        code = 0xC0;
      }
      if (n == 0 && i < rowEnd - 1) {
        n = copy(i, rowEnd, width - 1);
        code = 0x40;
      }
      if (n > 0) {
        out.push_back(static_cast<std::uint8_t>(code | n));
      } else {
        n = fill(i, rowEnd);
      }
      i += n;
    }
  }
  return out;
}

// Input: u8 depth selector, u16 width selector, then pixel bytes. Encoding into exactly the
// worst-case size must give the literal stream, and decoding that into exactly the plain size
// every whole row (32-bit pixels as RGB565 unless kept at full depth). Less than one row is
// refused.
inline bool roundTripHolds(std::span<const std::uint8_t> data) {
  if (data.size() < 3) return true;
  struct Depth {
    std::uint16_t bitCount;
    std::uint32_t headerLength;
    std::size_t pixel;
    bool fullDepth;
  };
  static constexpr Depth kDepths[] = {
      {8, 1064, 1, false}, {16, 52, 2, false}, {24, 40, 3, false}, {32, 52, 4, false}, {32, 52, 4, true}};
  const Depth& depth = kDepths[data[0] % std::size(kDepths)];
  const std::size_t width = 1 + loadU16le(data.data() + 1) % 1024;
  const auto pixels = data.subspan(3);
  const auto plain = plainBlock(static_cast<std::int32_t>(width), depth.bitCount, depth.headerLength, pixels);
  const std::size_t rows = pixels.size() / depth.pixel / width;
  const bool reduced = depth.pixel == 4 && !depth.fullDepth;
  const std::size_t value = reduced ? 2 : depth.pixel;

  ScreenCodec codec;
  std::vector<std::uint8_t> coded(depth.headerLength + rows * width * (1 + value));
  const std::int32_t codedLength = depth.fullDepth ? codec.encodeFullDepth(plain, coded, depth.headerLength)
                                                   : codec.encode(plain, coded, depth.headerLength);
  if (rows == 0) return codedLength == ScreenCodec::kMalformed;
  if (codedLength < static_cast<std::int32_t>(depth.headerLength)) return false;
  const auto stream = std::span(coded).first(static_cast<std::size_t>(codedLength)).subspan(depth.headerLength);
  const auto literal = literalStream(pixels, width, depth.pixel, reduced);
  if (!std::equal(stream.begin(), stream.end(), literal.begin(), literal.end())) return false;

  std::vector<std::uint8_t> decoded(depth.headerLength + rows * width * value);
  const std::int32_t decodedLength =
      codec.decode(std::span(coded).first(static_cast<std::size_t>(codedLength)), decoded, depth.headerLength);
  if (decodedLength != static_cast<std::int32_t>(decoded.size())) return false;
  for (std::size_t i = 0; i < rows * width; ++i) {
    const std::uint8_t* original = pixels.data() + i * depth.pixel;
    const std::uint8_t* back = decoded.data() + depth.headerLength + i * value;
    if (reduced ? loadU16le(back) != ScreenCodec::pack565(loadU32le(original))
                : !std::equal(back, back + value, original)) {
      return false;
    }
  }
  return true;
}

}  // namespace vantrel::codec_checks
