// A hostile console's stream, cut anywhere, against the pushed session of the browser viewer.
#include <cstdlib>

#include "push_session_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!vantrel::push_session_checks::samePiecewise({data, size})) std::abort();
  return 0;
}
