#include "viewer/sdl/full_screen_sdl.h"

#include <SDL2/SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>

namespace vantrel::cli {
namespace {

// Whether a window manager that makes windows full screen (one of the EWMH, which names itself on
// the root window) looks after the window; always so off X11.
bool managerMakesFullScreen(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (SDL_GetWindowWMInfo(window, &info) != SDL_TRUE || info.subsystem != SDL_SYSWM_X11) return true;
  Display* display = info.info.x11.display;
  const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
  if (check == None) return false;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, left = 0;
  unsigned char* data = nullptr;
  const bool named = XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW, &type,
                                        &format, &count, &left, &data) == Success &&
                     type == XA_WINDOW && count == 1;
  if (data != nullptr) XFree(data);
  return named;
}

}  // namespace

void FullScreenSwitch::enter(SDL_Window* window) {
  byHand_ = !managerMakesFullScreen(window);
  if (!byHand_) {
    SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP);
    return;
  }
  SDL_Rect screen{};
  SDL_GetDisplayBounds(std::max(SDL_GetWindowDisplayIndex(window), 0), &screen);
  SDL_SetWindowBordered(window, SDL_FALSE);
  SDL_SetWindowPosition(window, screen.x, screen.y);
  SDL_SetWindowSize(window, screen.w, screen.h);
  SDL_RaiseWindow(window);
  // Nothing else gives it the keyboard.
  SDL_SetWindowInputFocus(window);
}

void FullScreenSwitch::leave(SDL_Window* window) {
  if (byHand_) {
    SDL_SetWindowBordered(window, SDL_TRUE);
  } else {
    SDL_SetWindowFullscreen(window, 0);
  }
  byHand_ = false;
}

}  // namespace vantrel::cli
