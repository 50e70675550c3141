#pragma once
// Compressed screen rectangles. A block is H bytes of bitmap header (BITMAPINFOHEADER plus its
// masks or colour table) followed by pixels; the caller knows H, the block does not carry it.
// A compressed block has '7' in header byte 3, and its pixels are a stream of entries: a fill
// run (code 0x00-0x3F, then one pixel value) or a copy run of (code & 0x3F) pixels from the row
// above: 0x40 above-right, 0x80 above, 0xC0 above-left. References are linear indices, not
// clipped at row edges. Pixel size is biBitCount / 8 (0 counts as 1; 5 or more: no pixels).
//
// Both directions work in one pass straight into the caller's buffer and allocate nothing.

#include <cstddef>
#include <cstdint>
#include <span>

namespace vantrel {

class ScreenCodec {
 public:
  // encode: the source is already compressed, or there is no destination.
  static constexpr std::int32_t kAlreadyCompressed = -1;
  // decode: the source is not compressed, or there is no destination.
  static constexpr std::int32_t kNotCompressed = -2;
  // The block cannot be processed: header shorter than 40 bytes or than the source admits,
  // a width below 1 or less than one whole row for encode, or a coded stream that ends inside
  // a fill value or copies from a pixel that is not already written (before index 0, or the
  // current pixel itself). The destination may hold a partial result.
  static constexpr std::int32_t kMalformed = -3;
  // The result would not fit the destination. encode checks this before writing anything,
  // against a stream of single-pixel fill runs; decode stops at the first run that would
  // overflow, having written only inside the destination.
  static constexpr std::int32_t kNoRoom = -4;

  virtual ~ScreenCodec() = default;

  // Compresses a plain block; 32-bit pixels are reduced to RGB565 (the header then declares
  // 16 bits, half the image size and the 565 masks). Returns H plus the coded length.
  // Pixels after the last whole row are not coded.
  std::int32_t encode(std::span<const std::uint8_t> source, std::span<std::uint8_t> destination,
                      std::uint32_t headerLength);

  // As encode, but 32-bit pixels keep all four bytes (5-byte fill entries).
  std::int32_t encodeFullDepth(std::span<const std::uint8_t> source,
                               std::span<std::uint8_t> destination, std::uint32_t headerLength);

  // Expands a compressed block. Returns H plus the pixel bytes written.
  std::int32_t decode(std::span<const std::uint8_t> source, std::span<std::uint8_t> destination,
                      std::uint32_t headerLength);

  // A 32-bit pixel stored blue, green, red, unused (read little-endian) as RGB565.
  static constexpr std::uint16_t pack565(std::uint32_t pixel) {
    return static_cast<std::uint16_t>(((pixel >> 8) & 0xF800) | ((pixel >> 5) & 0x07E0) |
                                      ((pixel >> 3) & 0x001F));
  }
};

}  // namespace vantrel
