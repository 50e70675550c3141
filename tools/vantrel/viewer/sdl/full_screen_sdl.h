#pragma once
// The viewer window's full screen, as the window manager makes it, or by the window itself where
// no manager would answer the request (a kiosk's bare X server): there SDL would draw for the
// screen's size into a window that never gets it.

#include <SDL2/SDL_video.h>

namespace vantrel::cli {

class FullScreenSwitch {
 public:
  void enter(SDL_Window* window);
  void leave(SDL_Window* window);

 private:
  bool byHand_ = false;  // the window made itself full screen
};

}  // namespace vantrel::cli
