#pragma once
// The numbers behind the viewer's placement and scrolling, kept free of the window system so
// that every case can be pinned down by a test: where the window goes for a remote screen
// inside the host's area or on the local screen, which scroll bars it shows, how far a scroll
// request may move the view, what each scroll-bar request asks for, and what a pointer near
// the screen's edges does. The Win32 shell reads the system values, calls these and applies
// the answers.
//
// The profile's [VIEW] switches (ViewOptions) change nothing on the two local screens of the
// resolution check unless they say so: AnyLocalScreen lays the viewer out on any other screen
// by that screen's own size (a larger one shows the remote screen centred, a smaller one, in
// either direction, edge-scrolls by its own size); ScaleToFit shows a remote screen that does
// not fit the viewing area scaled down into it, and in full screen with AnyLocalScreen scaled
// to fill the screen, on any screen.

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

// [VIEW] of consoleclient.ini (view_options.h reads it).
struct ViewOptions {
  bool anyLocalScreen = false;
  bool scaleToFit = false;
};
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
// size (`fitWindow`); a scaled view covers the whole screen.
Placement fullScreenPlacement(ExtentI needed, ViewingArea area, ExtentI localScreen, ExtentI remote,
                              const ViewOptions& options);

// Where the viewer goes as it enters the full-screen view: the fitted position, with a border
// when the screen is wider than the remote one. Only x, y, width, height and bordered are set.
Placement enterFullScreenPlacement(ExtentI needed, ExtentI localScreen, ExtentI remote, const ViewOptions& options);

// Whether the remote screen is shown scaled: in the windowed view when it does not fit the
// viewing area, in the full-screen view (with AnyLocalScreen) when it is not the screen's size.
bool scaledView(const ViewOptions& options, bool fullScreen, ExtentI remote, ExtentI localScreen, ViewingArea area);

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

// How the remote screen is shown: 1:1 in the host's window or in full screen, or scaled (all of
// it seen, nothing to scroll).
enum class ViewKind : std::uint8_t { Windowed, FullScreen, Scaled };

// Which scroll bars the view shows for its current outer size: only the windowed 1:1 view has any.
struct ScrollBarVisibility {
  bool horizontal = false;
  bool vertical = false;
  bool operator==(const ScrollBarVisibility&) const = default;
};
ScrollBarVisibility scrollBarsFor(ViewKind kind, ExtentI windowSize, ExtentI needed);

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

// A layout's scroll state: the visible part (from the client in the windowed view, all of the
// remote screen when scaled; `state`'s view size is kept in the full-screen view), the ranges,
// and the offsets pulled back inside the new limits. In the windowed view an offset along a
// side without a scroll bar goes back to 0: nothing could scroll it back.
ScrollState layoutScroll(const ScrollState& state, ViewKind kind, ExtentI client, ExtentI remote,
                         ScrollBarVisibility bars = {true, true});

// What the view is scrolled in, for the limits of a scroll request.
struct ScrollContext {
  bool fullScreen = false;
  ExtentI localScreen;
  ExtentI remote;
  bool anyScreen = false;  // the AnyLocalScreen switch as configured
  bool scaled = false;     // a scaled view never scrolls
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
// The toolbar's top band sees the offsets as the scrolls of the bands before it left them.
struct PointerAtEdge {
  int clientX = 0;
  int clientY = 0;
  ScrollContext view;
  ScrollState scroll;
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
