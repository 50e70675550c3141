// Hostile screen messages: any header and payload for ScreenUpdate, OverlayUpdate and
// ScreenFormat, applied one after another to one display on the software surface.
#include "display_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static auto* display = new vantrel::display_checks::Display;
  vantrel::display_checks::apply(*display, {data, size});
  return 0;
}
