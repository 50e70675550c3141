#pragma once
// A real desktop behind a console session, beyond its pictures: the viewer's input goes into it,
// its clipboard and pointer come out. The session calls the viewer's side from its reading
// thread and the rest from its sending thread.

#include <cstdint>
#include <optional>
#include <string>

#include "console/cursor_overlay.h"
#include "console/desktop_geometry.h"
#include "png_image.h"

namespace vantrel::cli {

class DesktopPort {
 public:
  virtual ~DesktopPort() = default;

  // From the viewer. Positions are on the served screen.
  virtual void key(std::uint32_t keysym, bool down) = 0;
  virtual void pointer(ScreenPoint served, std::uint8_t buttons) = 0;
  virtual void request(std::uint16_t subtype) = 0;  // 14 Alt+Tab, 15 Ctrl+Alt+Del
  virtual void clipboardFromViewer(const std::string& latin1) = 0;

  virtual void sessionStarted() = 0;
  // Releases whatever the viewer left pressed.
  virtual void sessionEnded() = 0;

  // For the viewer: desktop clipboard text that changed since the last call.
  virtual std::optional<std::string> takeClipboardForViewer() = 0;
  // The pointer's picture over `screen`, when it moved or changed since the last call, or
  // whenever `redraw` (an update has painted over it); null otherwise. It stays valid until the
  // next call.
  virtual const OverlayPicture* cursorOverlay(const RgbImage& screen, bool redraw) = 0;
};

}  // namespace vantrel::cli
