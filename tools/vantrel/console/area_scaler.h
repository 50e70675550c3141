#pragma once
// Area-averaging resize of RGB pictures (3 bytes a pixel, top-down rows): every output pixel is
// the mean of the input area it covers, a partly covered input pixel counting by the part
// covered. Parts of the output can be recomputed alone, so that a small change of a large
// desktop costs a small rescale.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "console/desktop_geometry.h"

namespace vantrel::cli {

class AreaScaler {
 public:
  AreaScaler(ScreenSize from, ScreenSize to);

  // Recomputes the output pixels of `area` (output coordinates, clipped to the output) from
  // the whole input picture; strides are in bytes.
  void scale(const std::uint8_t* input, std::size_t inputStride, std::uint8_t* output, std::size_t outputStride,
             PixelRect area) const;
  // The output pixels that depend on an input rectangle.
  PixelRect affectedBy(PixelRect input) const;

 private:
  // The input pixels one output pixel covers along an axis: consecutive from `first`, with
  // weights in 1/4096 that add up to 4096.
  struct Taps {
    int first = 0;
    std::vector<std::uint32_t> weights;
  };
  static std::vector<Taps> axis(int from, int to);
  static void span(int from, int to, int start, int end, int& outStart, int& outEnd);

  ScreenSize from_, to_;
  std::vector<Taps> columns_, rows_;
};

}  // namespace vantrel::cli
