#include "tool/x_listener.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <thread>
#include <utility>

namespace vantrel::test {
namespace {

Display* dpy(void* d) { return static_cast<Display*>(d); }

bool isModifier(KeySym k) { return IsModifierKey(k) || (k >= 0xFE01 && k <= 0xFE13); }

}  // namespace

XListener::XListener(const std::string& display) : display_(XOpenDisplay(display.c_str())) {
  if (display_ == nullptr) return;
  Display* d = dpy(display_);
  const int screen = DefaultScreen(d);
  window_ = XCreateSimpleWindow(d, RootWindow(d, screen), 0, 0, static_cast<unsigned>(DisplayWidth(d, screen)),
                                static_cast<unsigned>(DisplayHeight(d, screen)), 0, 0, 0);
  XSelectInput(d, window_, KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask | ExposureMask);
  XMapWindow(d, window_);
  XSync(d, False);
  XSetInputFocus(d, window_, RevertToParent, CurrentTime);
  XSync(d, False);
}

XListener::~XListener() {
  if (display_ != nullptr) XCloseDisplay(dpy(display_));
}

void XListener::pump(std::chrono::milliseconds within, const std::function<bool()>& enough) {
  Display* d = dpy(display_);
  const auto end = std::chrono::steady_clock::now() + within;
  while (!enough() && std::chrono::steady_clock::now() < end) {
    if (XPending(d) == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    XEvent e;
    XNextEvent(d, &e);
    if (e.type == KeyPress) {
      // Read with the keymap the server has now: Xlib's own copy follows a change (a keysym
      // bound to a spare keycode a moment ago) only some time later.
      KeySym keysym = NoSymbol;
      unsigned consumed = 0;
      if (XkbDescPtr xkb = XkbGetMap(d, XkbAllClientInfoMask, XkbUseCoreKbd)) {
        XkbTranslateKeyCode(xkb, static_cast<KeyCode>(e.xkey.keycode), e.xkey.state, &consumed, &keysym);
        XkbFreeKeyboard(xkb, 0, True);
      }
      if (!isModifier(keysym)) keys_.push_back(static_cast<std::uint32_t>(keysym));
    } else if (e.type == ButtonPress || e.type == ButtonRelease) {
      buttons_.push_back((e.type == ButtonPress ? "press " : "release ") + std::to_string(e.xbutton.button));
    }
  }
}

std::vector<std::uint32_t> XListener::keysPressed(std::size_t count, std::chrono::milliseconds within) {
  pump(within, [&] { return keys_.size() >= count; });
  return std::exchange(keys_, {});
}

std::vector<std::string> XListener::buttons(std::size_t count, std::chrono::milliseconds within) {
  pump(within, [&] { return buttons_.size() >= count; });
  return std::exchange(buttons_, {});
}

int XListener::keysDown() {
  char keys[32] = {};
  XQueryKeymap(dpy(display_), keys);
  int down = 0;
  for (const char k : keys) down += __builtin_popcount(static_cast<unsigned char>(k));
  return down;
}

std::pair<int, int> XListener::pointer() {
  Display* d = dpy(display_);
  Window root = 0, child = 0;
  int x = 0, y = 0, wx = 0, wy = 0;
  unsigned mask = 0;
  XQueryPointer(d, DefaultRootWindow(d), &root, &child, &x, &y, &wx, &wy, &mask);
  return {x, y};
}

}  // namespace vantrel::test
