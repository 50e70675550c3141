// A hostile console: any status words, then any stream of messages, against the viewer's login
// and the whole receive path of its session on the software surface.
#include <cstdlib>

#include "viewer_stream_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!vantrel::viewer_stream_checks::sessionEnds({data, size})) std::abort();
  return 0;
}
