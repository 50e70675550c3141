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

// Input: u8 depth selector, u16 width selector, then pixel bytes. Encoding into exactly the
// worst-case size and decoding into exactly the plain size must give back every whole row
// (32-bit pixels as RGB565 unless kept at full depth); less than one row is refused.
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
