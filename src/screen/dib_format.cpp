#include "screen/dib_format.h"

#include "protocol/byte_io.h"

namespace vantrel {

std::optional<DibFormat> DibFormat::parse(std::span<const std::uint8_t> info) {
  if (info.size() < kHeaderSize) return std::nullopt;
  DibFormat f;
  const auto width = static_cast<std::int32_t>(loadU32le(info.data() + kWidthAt));
  const auto height = static_cast<std::int32_t>(loadU32le(info.data() + kHeightAt));
  f.bitCount = loadU16le(info.data() + kBitCountAt);
  f.compression = loadU32le(info.data() + kCompressionAt);
  const std::uint32_t clrUsed = loadU32le(info.data() + kClrUsedAt);

  // INT32_MIN has no positive row count; a top-down DIB may not be compressed in GDI either.
  if (width <= 0 || height == 0 || height == INT32_MIN) return std::nullopt;
  f.width = width;
  f.topDown = height < 0;
  f.height = height < 0 ? -height : height;

  switch (f.bitCount) {
    case 1:
    case 4:
    case 8: {
      if (f.compression != kRgb) return std::nullopt;
      const std::uint32_t full = 1u << f.bitCount;
      f.colourCount = clrUsed != 0 && clrUsed < full ? clrUsed : full;
      f.infoSize = kHeaderSize + 4 * std::size_t{f.colourCount};
      break;
    }
    case 16:
    case 32:
      if (f.compression == kBitfields) {
        f.infoSize = kHeaderSize + 12;
      } else if (f.compression != kRgb) {
        return std::nullopt;
      }
      break;
    case 24:
      if (f.compression != kRgb) return std::nullopt;
      break;
    default: return std::nullopt;
  }
  f.stride = (std::uint64_t{static_cast<std::uint32_t>(f.width)} * f.bitCount + 31) / 32 * 4;
  f.imageSize = f.stride * static_cast<std::uint32_t>(f.height);
  return f;
}

std::uint32_t DibFormat::codecPixelSize(std::uint16_t bitCount) {
  const std::uint32_t quotient = bitCount / 8u;
  if (quotient == 0) return 1;
  return quotient <= 4 ? quotient : 0;
}

}  // namespace vantrel
