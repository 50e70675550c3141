#pragma once
// BMP files as picture programs write them, for `vantrel codec`: a 14-byte file header ("BM",
// the file's size, where the pixels start) before the bitmap header, and rows padded to whole
// 4-byte words. The codec's blocks are the bitmap header and the rows without padding, and a
// block of 16 or 32 bits a pixel carries its three colour masks.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vantrel::cli {

struct PlainBlock {
  std::vector<std::uint8_t> bytes;  // the bitmap header, then the rows
  std::uint32_t headerLength = 0;
};

// Whether the bytes start as a BMP file does.
bool isBmpFile(std::span<const std::uint8_t> bytes);

// The block a BMP file holds, its header the 40-byte one that blocks have (a longer one is cut to
// it); nothing, and why in `error`, for one the codec cannot take (fewer than 8 bits a pixel,
// compressed, cut short).
std::optional<PlainBlock> blockOfBmpFile(std::span<const std::uint8_t> file, std::string& error);

// A BMP file of a plain block the codec wrote (its header at least 40 bytes): the file header
// before it and each row padded.
std::vector<std::uint8_t> bmpFileOfBlock(std::span<const std::uint8_t> block, std::uint32_t headerLength);

}  // namespace vantrel::cli
