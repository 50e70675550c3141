#include "bmp_file.h"

#include <algorithm>
#include <array>

#include "protocol/byte_io.h"

namespace vantrel::cli {
namespace {

constexpr std::size_t kFileHeader = 14;
constexpr std::size_t kInfoHeader = 40;
// Offsets in the bitmap header.
constexpr std::size_t kWidth = 4, kHeight = 8, kBitCount = 14, kCompression = 16, kColoursUsed = 32;
constexpr std::uint32_t kRgb = 0, kBitFields = 3;

std::uint64_t paddedRow(std::uint64_t width, unsigned bits) { return (width * bits + 31) / 32 * 4; }

}  // namespace

bool isBmpFile(std::span<const std::uint8_t> bytes) {
  return bytes.size() >= kFileHeader + kInfoHeader && bytes[0] == 'B' && bytes[1] == 'M';
}

std::optional<PlainBlock> blockOfBmpFile(std::span<const std::uint8_t> file, std::string& error) {
  if (!isBmpFile(file)) {
    error = "it is not a BMP file";
    return std::nullopt;
  }
  const std::uint32_t pixelsAt = loadU32le(&file[10]);
  const std::span<const std::uint8_t> info = file.subspan(kFileHeader);
  const std::uint32_t infoSize = loadU32le(&info[0]);
  const auto width = static_cast<std::int32_t>(loadU32le(&info[kWidth]));
  const auto height = static_cast<std::int32_t>(loadU32le(&info[kHeight]));
  const unsigned bits = loadU16le(&info[kBitCount]);
  const std::uint32_t compression = loadU32le(&info[kCompression]);
  // 8-bit pictures: the colour table after the bitmap header; the others: the masks of
  // BI_BITFIELDS, right after a 40-byte header and at the same place inside the longer ones.
  const std::uint32_t usedColours = loadU32le(&info[kColoursUsed]);
  const std::uint64_t tableAt = bits == 8 ? infoSize : kInfoHeader;
  const std::uint64_t tableSize = bits == 8 ? 4 * std::uint64_t{usedColours == 0 ? 256 : usedColours}
                                  : compression == kBitFields ? 12 : 0;
  const std::uint64_t headersEnd = kFileHeader + std::max<std::uint64_t>(infoSize, tableAt + tableSize);
  if (infoSize < kInfoHeader || headersEnd > pixelsAt || pixelsAt > file.size() || width <= 0 || height == 0 ||
      height == INT32_MIN || usedColours > 256) {
    error = "its headers do not describe a picture";
    return std::nullopt;
  }
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    error = "it has " + std::to_string(bits) + " bits a pixel; the codec takes 8, 16, 24 or 32";
    return std::nullopt;
  }
  if (compression != kRgb && !(compression == kBitFields && bits != 8 && bits != 24)) {
    error = "its pixels are compressed (biCompression " + std::to_string(compression) + ")";
    return std::nullopt;
  }
  const std::uint64_t rows = height < 0 ? -static_cast<std::int64_t>(height) : height;
  const std::uint64_t stride = paddedRow(static_cast<std::uint64_t>(width), bits);
  if (rows > (file.size() - pixelsAt) / stride) {
    error = "it is cut short: " + std::to_string(rows) + " rows need " + std::to_string(stride * rows) + " bytes";
    return std::nullopt;
  }

  // The header as blocks have it: 40 bytes, then the colour table or the three masks.
  PlainBlock block;
  block.bytes.assign(info.begin(), info.begin() + kInfoHeader);
  storeU32le(&block.bytes[0], kInfoHeader);
  if ((bits == 16 || bits == 32) && compression == kRgb) {
    const std::array<std::uint32_t, 3> masks = bits == 16 ? std::array<std::uint32_t, 3>{0x7C00, 0x03E0, 0x001F}
                                                          : std::array<std::uint32_t, 3>{0xFF0000, 0xFF00, 0xFF};
    block.bytes.resize(kInfoHeader + 12);
    for (std::size_t i = 0; i < 3; ++i) storeU32le(&block.bytes[kInfoHeader + 4 * i], masks[i]);
    storeU32le(&block.bytes[kCompression], kBitFields);
  } else {
    const auto table = info.subspan(static_cast<std::size_t>(tableAt), static_cast<std::size_t>(tableSize));
    block.bytes.insert(block.bytes.end(), table.begin(), table.end());
  }
  block.headerLength = static_cast<std::uint32_t>(block.bytes.size());
  const std::size_t rowBytes = static_cast<std::size_t>(width) * bits / 8;
  for (std::uint64_t row = 0; row < rows; ++row) {
    const auto from = file.begin() + static_cast<std::ptrdiff_t>(pixelsAt + row * stride);
    block.bytes.insert(block.bytes.end(), from, from + static_cast<std::ptrdiff_t>(rowBytes));
  }
  return block;
}

std::vector<std::uint8_t> bmpFileOfBlock(std::span<const std::uint8_t> block, std::uint32_t headerLength) {
  const auto width = static_cast<std::int32_t>(loadU32le(&block[kWidth]));
  const unsigned bits = loadU16le(&block[kBitCount]);
  const std::size_t rowBytes = static_cast<std::size_t>(std::max(width, 0)) * bits / 8;
  const std::size_t rows = rowBytes == 0 ? 0 : (block.size() - headerLength) / rowBytes;
  const std::size_t stride = static_cast<std::size_t>(paddedRow(static_cast<std::uint64_t>(std::max(width, 0)), bits));

  std::vector<std::uint8_t> file(kFileHeader + headerLength + stride * rows, 0);
  file[0] = 'B';
  file[1] = 'M';
  storeU32le(&file[2], static_cast<std::uint32_t>(file.size()));
  storeU32le(&file[10], static_cast<std::uint32_t>(kFileHeader + headerLength));
  std::copy_n(block.begin(), headerLength, file.begin() + kFileHeader);
  for (std::size_t row = 0; row < rows; ++row) {
    std::copy_n(block.begin() + static_cast<std::ptrdiff_t>(headerLength + row * rowBytes), rowBytes,
                file.begin() + static_cast<std::ptrdiff_t>(kFileHeader + headerLength + row * stride));
  }
  return file;
}

}  // namespace vantrel::cli
