#pragma once
// The layout of a device-independent bitmap as GDI reads it, worked out from an untrusted
// BITMAPINFOHEADER: how many bytes of masks or colour table follow the header, how long a row
// is (padded to 4 bytes), how many bytes of pixels the image needs. Only the formats the
// viewer can be sent are accepted: BI_RGB at 1, 4, 8, 16, 24 and 32 bits, BI_BITFIELDS at 16
// and 32 bits.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace vantrel {

struct DibFormat {
  static constexpr std::size_t kHeaderSize = 40;
  static constexpr std::uint32_t kRgb = 0;        // BI_RGB
  static constexpr std::uint32_t kBitfields = 3;  // BI_BITFIELDS

  // Header field offsets.
  static constexpr std::size_t kWidthAt = 4;
  static constexpr std::size_t kHeightAt = 8;
  static constexpr std::size_t kBitCountAt = 14;
  static constexpr std::size_t kCompressionAt = 16;
  static constexpr std::size_t kClrUsedAt = 32;

  std::int32_t width = 0;
  std::int32_t height = 0;  // rows, always positive
  bool topDown = false;     // biHeight < 0
  std::uint16_t bitCount = 0;
  std::uint32_t compression = kRgb;
  std::uint32_t colourCount = 0;  // entries of the colour table GDI uses (8 bits or fewer)
  std::size_t infoSize = kHeaderSize;  // header + masks + colour table
  std::uint64_t stride = 0;            // bytes per row, a multiple of 4
  std::uint64_t imageSize = 0;         // stride x rows

  // The first 40 bytes must be there; the masks or colour table the header declares need not
  // be (check infoSize against what you hold). Empty for anything GDI could not draw or that
  // we do not draw.
  static std::optional<DibFormat> parse(std::span<const std::uint8_t> info);

  // The pixel size the screen codec uses for this bit count (0 counts as 1, 5 or more none).
  static std::uint32_t codecPixelSize(std::uint16_t bitCount);
};

}  // namespace vantrel
