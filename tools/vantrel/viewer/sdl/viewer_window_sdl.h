#pragma once
// The interactive viewer's window on SDL2 (X11 or Wayland): the remote screen in a streaming
// texture, scaled to the window or 1:1 with scrolling, full screen on a key, and the session's
// ports (window, clipboard, keys, pointer) for one logged-in link at a time. The window stays
// open between sessions, so that a reconnecting viewer keeps showing the last picture.

#include <SDL2/SDL_keycode.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "catalog/user_messages.h"
#include "protocol/console_link.h"
#include "viewer/sdl/reconnect_backoff.h"

namespace vantrel::cli {

struct ViewerWindowOptions {
  std::string title;  // the server's address
  bool oneToOne = false;
  bool fullScreen = false;
  SDL_Keycode menuKey = SDLK_F8;
  SDL_Keycode fullScreenKey = SDLK_F11;
  std::int32_t clipboardLimit = 0;
};

class SdlViewerWindow {
 public:
  // Starts SDL's video; nothing, and the reason in `error`, without a usable display.
  static std::unique_ptr<SdlViewerWindow> open(const ViewerWindowOptions& options, std::string& error);
  ~SdlViewerWindow();
  SdlViewerWindow(const SdlViewerWindow&) = delete;
  SdlViewerWindow& operator=(const SdlViewerWindow&) = delete;

  // Runs a session on `link` (logged in) until it ends, and says how it ended.
  SessionEnd runSession(ConsoleLink& link, UserMessages& messages);
  // Shows "reconnecting" over the last picture until `until`. False when the user closed the
  // window meanwhile.
  bool waitReconnecting(ReconnectBackoff::Clock::time_point until);

 private:
  class Impl;
  explicit SdlViewerWindow(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace vantrel::cli
