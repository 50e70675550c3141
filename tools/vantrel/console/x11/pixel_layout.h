#pragma once
// How an X server stores a true-colour pixel (bits per pixel, byte order, channel masks) and the
// conversion of rows of such pixels to 8-bit RGB. Read from the server, never assumed.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vantrel::cli {

struct PixelLayout {
  int bitsPerPixel = 32;
  bool mostSignificantFirst = false;
  std::uint32_t redMask = 0xFF0000;
  std::uint32_t greenMask = 0x00FF00;
  std::uint32_t blueMask = 0x0000FF;
};

class PixelConverter {
 public:
  // Nothing for layouts it cannot read: other than 16, 24 or 32 bits, or masks that are empty,
  // overlap, have gaps or do not fit the pixel.
  static std::optional<PixelConverter> create(const PixelLayout& layout);

  std::size_t bytesPerPixel() const { return bytes_; }
  // `count` pixels from `native` to `rgb` (3 bytes each).
  void convert(const std::uint8_t* native, std::size_t count, std::uint8_t* rgb) const;

 private:
  struct Channel {
    unsigned shift = 0;
    unsigned bits = 0;
    std::uint32_t mask = 0;
    std::uint8_t widen(std::uint32_t pixel) const;
  };
  explicit PixelConverter(const PixelLayout& layout);
  std::uint32_t load(const std::uint8_t* p) const;

  PixelLayout layout_;
  std::size_t bytes_ = 4;
  Channel red_, green_, blue_;
  bool plainXrgb_ = false;  // 32 bits, little-endian, 8 bits a channel at 16, 8 and 0
};

}  // namespace vantrel::cli
