#pragma once
// PNG files in and out of the vantrel tool, as plain 8-bit RGB pixels: the console serves
// still images from them and the headless viewer saves what it received.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vantrel::cli {

// Top-down rows, 3 bytes per pixel (red, green, blue), no row padding:
// rgb.size() == width * height * 3.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
};

// The largest side accepted when loading; bigger files are refused rather than allocated.
inline constexpr int kMaxPngSide = 16384;

// Reads any PNG colour type and bit depth; alpha is composited onto black.
// On failure returns nothing and puts a one-line reason into error.
std::optional<RgbImage> loadPng(const std::string& path, std::string& error);
// The same from the bytes of a file; `maxSide` bounds the image accepted.
std::optional<RgbImage> decodePng(std::span<const std::uint8_t> bytes, std::string& error, int maxSide = kMaxPngSide);

// Writes an 8-bit RGB PNG. Refuses an image whose rgb size does not match its dimensions.
bool savePng(const std::string& path, const RgbImage& image, std::string& error);

}  // namespace vantrel::cli
