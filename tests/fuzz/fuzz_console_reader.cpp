// A hostile viewer: any request word, credential blocks and session messages, against the
// console's login responder and its reading of the session.
#include <cstdlib>

#include "console_reader_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static auto* console = new vantrel::console_reader_checks::Console;
  if (!console->readsToTheEnd({data, size})) std::abort();
  return 0;
}
