#pragma once
// The numbers behind the viewer's placement and scrolling, kept free of the window system so
// that every case can be pinned down by a test: where the window goes for a remote screen
// inside the host's area or on the local screen, which scroll bars it shows, how far a scroll
// request may move the view, what each scroll-bar request asks for, and what a pointer near
// the screen's edges does. The Win32 shell reads the system values, calls these and applies
// the answers.
//
// `anyScreen` is the profile's AnyLocalScreen switch. Without it the viewer lays itself out
// for the two local screens of the resolution check only; with it for any screen: a larger
// one shows the remote screen centred, a smaller one (in either direction) edge-scrolls by
// its own size.

#include <cstdint>
#include <optional>
#include <vector>

#include "toolbar/toolbar_layout.h"

namespace vantrel {

struct ExtentI {
  int width = 0;
  int height = 0;
  bool operator==(const ExtentI&) const = default;
};

struct RectI {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool operator==(const RectI&) const = default;
};

// The local screens the viewer lays itself out for; any other gets the resolution warning.
bool isSupportedLocalScreen(ExtentI screen);
inline constexpr const char* kLocalResolutionWarning =
    "The current resolution is not supported, please change to 800X600 or 1024X768.";

// The host's viewing area, in the parent window's client coordinates.
struct ViewingArea {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

struct Placement {
  int x = 0;
  int y = 0;
  int width = 0;   // size handed to SetWindowPos
  int height = 0;
  int windowWidth = 0;   // the session's windowWidth/windowHeight afterwards
  int windowHeight = 0;
  bool bordered = false;  // full screen only: the border style
  bool operator==(const Placement&) const = default;
};

// The viewer as a child of the host window: capped to the area, centred when it is smaller.
// `needed` is the outer size that shows the whole remote screen; `parentOuterHeight` matters
// only for an 800 x 600 remote on a 1024 x 768 screen that does not fit the area.
Placement windowedPlacement(ExtentI needed, ViewingArea area, ExtentI localScreen, ExtentI remote,
                            int parentOuterHeight);

// The viewer as a top-level window centred on the local screen, as fitted for a new remote
// size (`fitWindow`).
Placement fullScreenPlacement(ExtentI needed, ViewingArea area, ExtentI localScreen, ExtentI remote,
                              bool anyScreen);

// Where the viewer goes as it enters the full-screen view: the fitted position, with a border
// when the screen is wider than the remote one. Only x, y, width, height and bordered are set.
Placement enterFullScreenPlacement(ExtentI needed, ExtentI localScreen, ExtentI remote, bool anyScreen);

// Where the viewer goes in the host's window as it leaves the full-screen view. `parentOuter`
// is the outer size of the host's window, `thumb` the SM_CYVTHUMB metric.
struct WindowFrame {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const WindowFrame&) const = default;
};
WindowFrame leaveFullScreenFrame(ExtentI parentOuter, ExtentI remote, int thumb);

// Where a remote screen narrower (or lower) than the local one starts when centred; never negative.
int centreOffset(int localExtent, int remoteExtent);

// Which scroll bars the windowed view shows for its current outer size.
struct ScrollBarVisibility {
  bool horizontal = false;
  bool vertical = false;
  bool operator==(const ScrollBarVisibility&) const = default;
};
ScrollBarVisibility scrollBarsFor(bool windowed, ExtentI windowSize, ExtentI needed);

// The scroll state that scrolling and the scroll bars work from.
struct ScrollState {
  int scrollX = 0;
  int scrollY = 0;
  int scrollRangeX = 0;
  int scrollRangeY = 0;
  int viewWidth = 0;
  int viewHeight = 0;
  bool operator==(const ScrollState&) const = default;
};

// Steps 3 to 5 of a layout: the visible part (windowed only; `state`'s view size is kept in
// the full-screen view), the ranges, and the offsets pulled back inside the new limits.
ScrollState layoutScroll(const ScrollState& state, bool windowed, ExtentI client, ExtentI remote);

// What the view is scrolled in, for the limits of a scroll request.
struct ScrollContext {
  bool fullScreen = false;
  ExtentI localScreen;
  int remoteWidth = 0;
  bool anyScreen = false;
};

// How far a request of (dx, dy) may actually move the view: never before the origin and never
// past range minus the visible size. (0, 0) means nothing moves.
struct ScrollStep {
  int dx = 0;
  int dy = 0;
  bool operator==(const ScrollStep&) const = default;
};
ScrollStep limitScroll(const ScrollState& state, const ScrollContext& context, int dx, int dy);

// One WM_HSCROLL or WM_VSCROLL request: the movement along that bar. `visible` is the view's
// extent along the bar and `position` the current offset along it.
int scrollRequestDelta(std::uint16_t request, std::uint16_t thumbPosition, int visible, int position);

// WM_SIZING: the dragged edges pinned to the viewing area and the current window size.
RectI pinSizingRect(int edge, RectI proposed, ViewingArea area, int windowWidth, int windowHeight);

// A pointer near the edges of the full-screen view: which edge scrolls to make, in order (each
// a scrollView request, made only in the full-screen view), and what becomes of the toolbar.
struct PointerAtEdge {
  int clientX = 0;
  int clientY = 0;
  ExtentI localScreen;
  ExtentI remote;
  bool fullScreen = false;
  bool anyScreen = false;
  int scrollY = 0;
  std::optional<ToolbarSpan> toolbar;  // none while there is no toolbar
};

enum class ToolbarChange : std::uint8_t { None, Show, Hide };

struct EdgeResponse {
  std::vector<ScrollStep> scrolls;
  ToolbarChange toolbar = ToolbarChange::None;
  bool operator==(const EdgeResponse&) const = default;
};
EdgeResponse respondToEdge(const PointerAtEdge& pointer);

}  // namespace vantrel
