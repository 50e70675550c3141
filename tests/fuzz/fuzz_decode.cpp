// Hostile compressed rectangles: arbitrary header fields and streams into a bounded destination.
#include <cstdlib>

#include "codec_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!vantrel::codec_checks::decodeStaysBounded({data, size})) std::abort();
  return 0;
}
