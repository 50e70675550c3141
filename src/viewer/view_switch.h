#pragma once
// The switch between the windowed and the full-screen view and what comes with the full-screen
// view: the host's window hidden, the floating toolbar, scrolling at the screen's edges.
// Defined in view_switch_win32.cpp; the numbers come from view_geometry.h.

#include <cstdint>
#include <memory>

#include "toolbar/console_toolbar.h"
#include "viewer/view_geometry.h"
#include "viewer/viewer_window.h"

namespace vantrel {

// The viewer window as the switch uses it. Window thread only.
class ViewSwitchHost {
 public:
  virtual ~ViewSwitchHost() = default;
  virtual WindowRef viewerWindow() const = 0;
  virtual ExtentI remoteSize() const = 0;
  // The outer size that shows the whole remote screen, as last fitted.
  virtual ExtentI neededSize() const = 0;
  virtual ScrollState scrollState() const = 0;
  // What the view scrolls in now: its kind, the screens, the switches.
  virtual ScrollContext scrollContext() const = 0;
  virtual void scrollView(int dx, int dy) = 0;
  virtual void sendSpecialSequence(std::uint32_t code) = 0;
};

class ViewSwitch final : public ToolbarHost {
 public:
  // `settings` and `viewer` outlive the switch.
  ViewSwitch(const ViewerSettings& settings, ViewSwitchHost& viewer) : settings_(settings), viewer_(viewer) {}

  bool fullScreen() const { return fullScreen_; }

  // To the full-screen view (`windowed` false): SessionState 1, back to the origin, a top-level
  // window with the title over the hidden host, and the toolbar. Or back into the host's window.
  void switchView(bool windowed);
  // The host's top-level window to the left edge at the top of the work area, same size.
  void moveHostToWorkArea();
  // The session ends: a host window hidden under the full-screen view is shown again.
  void showHostAgain();
  // Edge scrolling and the toolbar's show-and-hide zone, for a mouse message at client (x, y).
  void pointerAt(int clientX, int clientY);
  void centreToolbar();

  // --- ToolbarHost -----------------------------------------------------------------------
  void sendSpecialSequence(std::uint32_t code) override { viewer_.sendSpecialSequence(code); }
  void requestSessionEnd() override;
  void returnToWindowedView() override;

 private:
  void enterFullScreen();
  void leaveFullScreen();
  void showToolbar();
  void hideToolbar();

  const ViewerSettings& settings_;
  ViewSwitchHost& viewer_;
  std::unique_ptr<ConsoleToolbar> toolbar_;
  bool toolbarPending_ = true;
  bool fullScreen_ = false;
};

}  // namespace vantrel
