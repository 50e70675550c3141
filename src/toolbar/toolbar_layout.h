#pragma once
// The floating toolbar of the full-screen view, as numbers and a table: seven picture buttons
// side by side at the top centre of the viewer, and what each one does. The window itself is
// ConsoleToolbar (console_toolbar_win32.cpp).

#include <array>
#include <cstdint>

#include "resources/resource_ids.h"

namespace vantrel {

inline constexpr int kToolbarButtonWidth = 89;
inline constexpr int kToolbarButtonHeight = 36;
// Seven buttons and a pixel of border on each side.
inline constexpr int kToolbarWidth = 625;
inline constexpr int kToolbarHeight = 36;
// The part of each bitmap a button shows, stretched onto the button.
inline constexpr int kToolbarBitmapWidth = 89;
inline constexpr int kToolbarBitmapHeight = 40;

struct ToolbarButton {
  int id;              // control id, 1 to 7, left to right
  const char* caption;  // the button's text; only the bitmaps are seen
  int normalBitmap;
  int pressedBitmap;
};

// "Virtual Device" shows its normal face also when pressed; its pressed image is loaded with
// the others and never drawn.
inline constexpr std::array<ToolbarButton, 7> kToolbarButtons{{
    {1, "Alt+Tab", VANTREL_IDB_ALT_TAB, VANTREL_IDB_ALT_TAB_PRESSED},
    {2, "Ctrl+Space", VANTREL_IDB_CTRL_SPACE, VANTREL_IDB_CTRL_SPACE_PRESSED},
    {3, "Alt+F4", VANTREL_IDB_ALT_F4, VANTREL_IDB_ALT_F4_PRESSED},
    {4, "Ctrl+Alt+Del", VANTREL_IDB_CTRL_ALT_DEL, VANTREL_IDB_CTRL_ALT_DEL_PRESSED},
    {5, "New Client", VANTREL_IDB_NEW_CLIENT, VANTREL_IDB_NEW_CLIENT_PRESSED},
    {6, "Virtual Device", VANTREL_IDB_VIRTUAL_DEVICE, VANTREL_IDB_VIRTUAL_DEVICE},
    {7, "Window/Full", VANTREL_IDB_WINDOW_FULL, VANTREL_IDB_WINDOW_FULL_PRESSED},
}};

// Where the toolbar sits in a parent `parentWidth` pixels wide: centred, and clipped equally on
// both sides by a parent narrower than the toolbar.
int toolbarX(int parentWidth);

// The screen columns the toolbar covers, both ends included.
struct ToolbarSpan {
  int left = 0;
  int right = 0;
  bool contains(int screenX) const { return left <= screenX && screenX <= right; }
  bool operator==(const ToolbarSpan&) const = default;
};
ToolbarSpan toolbarSpan(int parentScreenLeft, int toolbarX);

// What the buttons ask of the session.
class ToolbarHost {
 public:
  virtual ~ToolbarHost() = default;
  // Special key sequence 0 to 3; the viewer takes the focus when it went out.
  virtual void sendSpecialSequence(std::uint32_t code) = 0;
  // Asks the host to end the session (SessionState 2).
  virtual void requestSessionEnd() = 0;
  // Back to the host's window, the host moved to the work area, SessionState 4.
  virtual void returnToWindowedView() = 0;
};

// The button with control id `id` was clicked: "Virtual Device" and unknown ids do nothing.
void runToolbarCommand(int id, ToolbarHost& host);

}  // namespace vantrel
