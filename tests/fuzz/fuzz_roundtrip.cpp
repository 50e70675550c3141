// Whatever the pixels and width, decoding what encode wrote gives back the whole rows.
#include <cstdlib>

#include "codec_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!vantrel::codec_checks::roundTripHolds({data, size})) std::abort();
  return 0;
}
