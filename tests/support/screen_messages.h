#pragma once
// Screen messages for tests: plain bitmap blocks made from pixels, compressed as the console
// compresses them, and the ScreenUpdate / OverlayUpdate / ScreenFormat records and wire bytes
// that carry them.

#include <cstdint>
#include <span>
#include <vector>

#include "protocol/console_message.h"

namespace vantrel::testing {

using Bytes = std::vector<std::uint8_t>;

// A BITMAPINFOHEADER (biSize 40, one plane) followed by `extra` (masks or colour table).
Bytes bitmapInfo(std::int32_t width, std::int32_t height, std::uint16_t bitCount, std::uint32_t compression = 0,
                 std::uint32_t clrUsed = 0, const Bytes& extra = {});

// A compressed block of `info` followed by `pixels` (rows of width x pixel size, as the codec
// lays them out); 32-bit pixels keep all four bytes.
Bytes compressedBlock(const Bytes& info, const Bytes& pixels);

// A 32-bit true-colour block (BI_BITFIELDS, 8-8-8 masks) of width x height pixels given as
// 0x00RRGGBB, top row first.
Bytes trueColourBlock(std::int32_t width, std::int32_t height, const std::vector<std::uint32_t>& pixels);
inline constexpr std::uint32_t kTrueColourHeaderLength = 52;

struct WireMessage {
  ConsoleMessage header;  // payload pointer left null
  Bytes payload;
  Bytes wire() const;     // header bytes and payload as they go on the wire
};

WireMessage screenUpdate(std::uint8_t type, std::uint16_t x, std::uint16_t y, std::uint16_t width,
                         std::uint16_t height, std::uint16_t colourFlag, Bytes block, std::uint32_t headerLength);
WireMessage screenFormat(std::uint16_t width, std::uint16_t height, Bytes colourTable = {});

}  // namespace vantrel::testing
