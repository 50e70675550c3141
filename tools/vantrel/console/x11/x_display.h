#pragma once
// An Xlib connection owned by one thread, closed with it. Each desktop shell (capture, input,
// clipboard) opens its own, so that none needs Xlib's thread locks.

#include <X11/Xlib.h>

#include <functional>
#include <memory>
#include <string>

namespace vantrel::cli {

// A display whose connection broke is not closed: Xlib can wait for ever there when another
// thread met the loss. It is kept until the process ends, which follows soon.
struct DisplayCloser {
  void operator()(Display* d) const;
};
using DisplayHandle = std::unique_ptr<Display, DisplayCloser>;

// Opens `name` ("" for $DISPLAY). Protocol errors (a window that went away under a request, an
// extension request the server refused) no longer end the process: they are counted per
// thread, see xErrorCount. Nor does the loss of the connection: see displayLost.
DisplayHandle openDisplay(const std::string& name, std::string& error);

// The display `name` ("" for $DISPLAY) stands for, as Xlib reads it.
std::string displayName(const std::string& name);

// How many protocol errors this thread's requests have met so far; XSync before reading it.
unsigned long xErrorCount();

// Whether the connection of a display opened here has broken (the X server ended, say). Xlib
// calls on it return at once from then on, doing nothing, but only in the thread that met the
// loss: in another they may wait for ever. Code that cleans up after other threads asks first.
bool displayLost();
// Called once, from the thread whose Xlib call first met the loss; set before a display opens.
void onDisplayLost(std::function<void()> listener);

}  // namespace vantrel::cli
