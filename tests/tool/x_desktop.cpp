#include "tool/x_desktop.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <thread>

namespace vantrel::test {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

Display* dpy(void* d) { return static_cast<Display*>(d); }

// A window can go between listing and asking about it; Xlib's default would end the test.
int ignoreErrors(Display*, XErrorEvent*) { return 0; }

}  // namespace

XDesktop::XDesktop(const std::string& display) : display_(XOpenDisplay(display.c_str())) {
  if (display_ == nullptr) return;
  XSetErrorHandler(ignoreErrors);
  Display* d = dpy(display_);
  own_ = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
  clipboard_ = XInternAtom(d, "CLIPBOARD", False);
  utf8_ = XInternAtom(d, "UTF8_STRING", False);
  targets_ = XInternAtom(d, "TARGETS", False);
}

XDesktop::~XDesktop() {
  if (display_ != nullptr) XCloseDisplay(dpy(display_));
}

std::optional<XWindow> XDesktop::findWindow(const std::string& title) {
  Display* d = dpy(display_);
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  std::optional<XWindow> found;
  if (XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count) == 0) return found;
  for (unsigned i = 0; i < count && !found; ++i) {
    char* name = nullptr;
    if (XFetchName(d, children[i], &name) != 0 && name != nullptr) {
      if (std::string(name).rfind(title, 0) == 0) found = children[i];
      XFree(name);
    }
  }
  if (children != nullptr) XFree(children);
  return found;
}

std::pair<int, int> XDesktop::size(XWindow w) {
  XWindowAttributes a{};
  XGetWindowAttributes(dpy(display_), w, &a);
  return {a.width, a.height};
}

std::pair<int, int> XDesktop::origin(XWindow w) {
  Display* d = dpy(display_);
  int x = 0, y = 0;
  Window child = 0;
  XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &x, &y, &child);
  return {x, y};
}

void XDesktop::resize(XWindow w, int width, int height) {
  XResizeWindow(dpy(display_), w, static_cast<unsigned>(width), static_cast<unsigned>(height));
  XSync(dpy(display_), False);
}

cli::RgbImage XDesktop::screenshot(XWindow w) {
  const auto [width, height] = size(w);
  XImage* x = XGetImage(dpy(display_), w, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height), AllPlanes,
                        ZPixmap);
  if (x == nullptr) return {};
  cli::RgbImage image{width, height, std::vector<std::uint8_t>(std::size_t(width) * std::size_t(height) * 3)};
  for (int row = 0; row < height; ++row) {
    for (int column = 0; column < width; ++column) {
      const unsigned long p = XGetPixel(x, column, row);
      const std::size_t i = (std::size_t(row) * std::size_t(width) + std::size_t(column)) * 3;
      image.rgb[i] = static_cast<std::uint8_t>(p >> 16);
      image.rgb[i + 1] = static_cast<std::uint8_t>(p >> 8);
      image.rgb[i + 2] = static_cast<std::uint8_t>(p);
    }
  }
  XDestroyImage(x);
  return image;
}

void XDesktop::focus(XWindow w) {
  Display* d = dpy(display_);
  const auto [x, y] = origin(w);
  XTestFakeMotionEvent(d, -1, x + 5, y + 5, CurrentTime);
  XSetInputFocus(d, w, RevertToParent, CurrentTime);
  XSync(d, False);
}

void XDesktop::keys(const std::vector<std::pair<unsigned long, bool>>& steps) {
  Display* d = dpy(display_);
  for (const auto& [keysym, down] : steps) {
    XTestFakeKeyEvent(d, XKeysymToKeycode(d, keysym), down ? True : False, CurrentTime);
    XSync(d, False);
    std::this_thread::sleep_for(15ms);
  }
}

void XDesktop::click(int screenX, int screenY, unsigned button) {
  Display* d = dpy(display_);
  XTestFakeMotionEvent(d, -1, screenX, screenY, CurrentTime);
  XTestFakeButtonEvent(d, button, True, CurrentTime);
  XTestFakeButtonEvent(d, button, False, CurrentTime);
  XSync(d, False);
  std::this_thread::sleep_for(30ms);
}

std::optional<std::string> XDesktop::clipboard() {
  Display* d = dpy(display_);
  const Atom into = XInternAtom(d, "VANTREL_TEST", False);
  XConvertSelection(d, clipboard_, utf8_, into, own_, CurrentTime);
  XSync(d, False);
  for (const auto end = Clock::now() + 2s; Clock::now() < end;) {
    XEvent e;
    if (XCheckTypedWindowEvent(d, own_, SelectionNotify, &e) == 0) {
      std::this_thread::sleep_for(10ms);
      continue;
    }
    if (e.xselection.property == None) return std::nullopt;
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(d, own_, into, 0, 1 << 20, True, AnyPropertyType, &type, &format, &items, &after, &data);
    std::string text(reinterpret_cast<char*>(data), items);
    XFree(data);
    return text;
  }
  return std::nullopt;
}

bool XDesktop::offerClipboard(const std::string& text, const std::function<bool()>& done) {
  Display* d = dpy(display_);
  XSetSelectionOwner(d, clipboard_, own_, CurrentTime);
  XSync(d, False);
  for (const auto end = Clock::now() + 10s; Clock::now() < end;) {
    if (done()) return true;
    XEvent e;
    if (XCheckTypedEvent(d, SelectionRequest, &e) == 0) {
      std::this_thread::sleep_for(10ms);
      continue;
    }
    const XSelectionRequestEvent& r = e.xselectionrequest;
    XSelectionEvent answer{SelectionNotify, 0, True, d, r.requestor, r.selection, r.target, r.property, r.time};
    if (r.target == targets_) {
      const Atom offered[] = {targets_, utf8_};
      XChangeProperty(d, r.requestor, r.property, XA_ATOM, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(offered), 2);
    } else if (r.target == utf8_) {
      XChangeProperty(d, r.requestor, r.property, utf8_, 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    } else {
      answer.property = None;
    }
    XSendEvent(d, r.requestor, False, 0, reinterpret_cast<XEvent*>(&answer));
    XSync(d, False);
  }
  return done();
}

}  // namespace vantrel::test
