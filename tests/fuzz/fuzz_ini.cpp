// Any text as the message catalogue's INI file.
#include <cstdlib>

#include "ini_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!vantrel::ini_checks::lookupsHold({data, size})) std::abort();
  return 0;
}
