// Any bytes as a PNG file for the console's picture source.
#include <cstdlib>

#include "png_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string error;
  // Large sides cost time, not coverage.
  const auto image = vantrel::cli::decodePng({data, size}, error, 512);
  if (image && image->rgb.size() != static_cast<std::size_t>(image->width) * static_cast<std::size_t>(image->height) * 3) {
    std::abort();
  }
  return 0;
}
