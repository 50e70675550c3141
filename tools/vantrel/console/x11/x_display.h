#pragma once
// An Xlib connection owned by one thread, closed with it. Each desktop shell (capture, input,
// clipboard) opens its own, so that none needs Xlib's thread locks.

#include <X11/Xlib.h>

#include <memory>
#include <string>

namespace vantrel::cli {

struct DisplayCloser {
  void operator()(Display* d) const {
    if (d != nullptr) XCloseDisplay(d);
  }
};
using DisplayHandle = std::unique_ptr<Display, DisplayCloser>;

// Opens `name` ("" for $DISPLAY). Protocol errors (a window that went away under a request, an
// extension request the server refused) no longer end the process: they are counted per
// thread, see xErrorCount.
DisplayHandle openDisplay(const std::string& name, std::string& error);

// How many protocol errors this thread's requests have met so far; XSync before reading it.
unsigned long xErrorCount();

}  // namespace vantrel::cli
