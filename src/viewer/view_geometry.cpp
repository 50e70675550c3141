#include "viewer/view_geometry.h"

#include <algorithm>

#include "viewer/view_layout.h"

namespace vantrel {
namespace {

constexpr ExtentI kScreen800{800, 600};
constexpr ExtentI kScreen1024{1024, 768};
// Room for the vertical scroll bar when the remote screen is taller than the area.
constexpr int kScrollBarAllowance = 15;

// One axis of a scroll request: first never before the origin, then never past the far limit.
int limitAxis(int delta, int position, int range, int visible) {
  int step = std::max(delta, -position);
  const int farLimit = range - visible - position;
  if (step >= farLimit) step = farLimit;
  // With a range smaller than the visible part the far limit lies before the origin; the
  // origin wins, so the offset never goes negative.
  return std::max(step, -position);
}

}  // namespace

bool isSupportedLocalScreen(ExtentI screen) { return screen == kScreen1024 || screen == kScreen800; }

namespace {

// AnyLocalScreen takes the place of the rules for the two supported screens, never on them.
bool ownScreenRules(bool anyScreen, ExtentI localScreen) { return anyScreen && !isSupportedLocalScreen(localScreen); }

}  // namespace

bool scaledView(const ViewOptions& options, bool fullScreen, ExtentI remote, ExtentI localScreen, ViewingArea area) {
  if (!options.scaleToFit) return false;
  if (fullScreen) return options.anyLocalScreen && fitInside(remote, localScreen) != remote;
  return remote.width > area.width || remote.height > area.height;
}

int centreOffset(int localExtent, int remoteExtent) {
  const int offset = (localExtent - remoteExtent) / 2;
  return offset < 1 ? 0 : offset;
}

Placement windowedPlacement(ExtentI needed, ViewingArea area, ExtentI localScreen, ExtentI remote,
                            int parentOuterHeight) {
  Placement p;
  p.windowWidth = std::min(needed.width, area.width);
  p.windowHeight = std::min(needed.height, area.height);
  p.x = area.width > needed.width ? (area.width - needed.width) / 2 : 0;
  if (area.height < needed.height) {
    p.y = area.top;
    if (area.width >= p.windowWidth + kScrollBarAllowance) p.windowWidth += kScrollBarAllowance;
  } else {
    p.y = area.top + (area.height - needed.height) / 2;
  }

  p.width = p.windowWidth;
  if (localScreen == kScreen800) {
    p.height = p.windowHeight + 1;
  } else if (remote != kScreen800 || p.windowHeight >= kScreen800.height) {
    p.height = p.windowHeight + 2;
  } else {
    // An 800 x 600 remote squeezed on a 1024 x 768 screen takes the host's height instead.
    const int fromParent = parentOuterHeight - 25;
    p.height = fromParent < kScreen800.height ? fromParent : remote.height;
  }
  return p;
}

namespace {

// The full-screen window at the centre offsets. Without the switch the border comes from the
// caller's own rule; with it, only when there is room for it all round, so that the window never
// reaches past a screen edge it fits inside.
Placement centredPlacement(ExtentI localScreen, ExtentI remote, bool bordered, ExtentI unborderedSize) {
  Placement p;
  p.x = centreOffset(localScreen.width, remote.width);
  p.y = centreOffset(localScreen.height, remote.height);
  p.bordered = bordered;
  p.width = bordered ? remote.width + 2 : unborderedSize.width;
  p.height = bordered ? remote.height + 2 : unborderedSize.height;
  return p;
}

bool roomAllRound(ExtentI localScreen, ExtentI remote) {
  return centreOffset(localScreen.width, remote.width) != 0 && centreOffset(localScreen.height, remote.height) != 0;
}

// A scaled picture fills the screen in black bars of its own: the window covers all of it.
Placement wholeScreen(ExtentI localScreen) { return {0, 0, localScreen.width, localScreen.height, 0, 0, false}; }

}  // namespace

Placement fullScreenPlacement(ExtentI needed, ViewingArea area, ExtentI localScreen, ExtentI remote,
                              const ViewOptions& options) {
  Placement p;
  if (scaledView(options, true, remote, localScreen, area)) {
    p = wholeScreen(localScreen);
  } else {
    const bool bordered = ownScreenRules(options.anyLocalScreen, localScreen)
                              ? roomAllRound(localScreen, remote)
                              : centreOffset(localScreen.height, remote.height) != 0;
    p = centredPlacement(localScreen, remote, bordered, remote);
  }
  p.windowWidth = std::min(needed.width, area.width);
  p.windowHeight = std::min(needed.height, area.height);
  return p;
}

Placement enterFullScreenPlacement(ExtentI needed, ExtentI localScreen, ExtentI remote, const ViewOptions& options) {
  if (scaledView(options, true, remote, localScreen, {})) return wholeScreen(localScreen);
  if (ownScreenRules(options.anyLocalScreen, localScreen)) {
    return centredPlacement(localScreen, remote, roomAllRound(localScreen, remote), remote);
  }
  // A remote screen taller than the local one but narrower would start above the screen, out
  // of reach of scrolling; it starts at the top instead.
  return centredPlacement(localScreen, remote, localScreen.width > remote.width, needed);
}

WindowFrame leaveFullScreenFrame(ExtentI parentOuter, ExtentI remote, int thumb) {
  WindowFrame f;
  if (parentOuter.width < remote.width) {
    f.width = parentOuter.width;
  } else {
    f.x = (parentOuter.width - remote.width) / 2;
    f.width = remote.width;
  }
  // The viewer keeps below the top 25 pixels of the host's window; what is left decides the height.
  const int spare = parentOuter.height - remote.height;
  if (spare > 25) {
    f.y = (parentOuter.height + 25 - remote.height) / 2;
    f.height = remote.height + 2;
  } else {
    f.y = 25;
    f.height = parentOuter.height - thumb - 10;
    if (spare >= 1 || f.width + thumb < parentOuter.width) f.width = remote.width + thumb;
  }
  return f;
}

ScrollBarVisibility scrollBarsFor(ViewKind kind, ExtentI windowSize, ExtentI needed) {
  if (kind != ViewKind::Windowed) return {};
  return {windowSize.width < needed.width, windowSize.height < needed.height};
}

ScrollState layoutScroll(const ScrollState& state, ViewKind kind, ExtentI client, ExtentI remote,
                         ScrollBarVisibility bars) {
  ScrollState next = state;
  if (kind == ViewKind::Windowed) {
    next.viewWidth = std::min(client.width, remote.width);
    next.viewHeight = std::min(client.height, remote.height);
  } else if (kind == ViewKind::Scaled) {
    next.viewWidth = remote.width;
    next.viewHeight = remote.height;
  }
  next.scrollRangeX = remote.width;
  next.scrollRangeY = remote.height;
  next.scrollX = std::max(0, std::min(state.scrollX, next.scrollRangeX - std::max(next.viewWidth, 0)));
  next.scrollY = std::max(0, std::min(state.scrollY, next.scrollRangeY - std::max(next.viewHeight, 0)));
  if (kind == ViewKind::Windowed && !bars.horizontal) next.scrollX = 0;
  if (kind == ViewKind::Windowed && !bars.vertical) next.scrollY = 0;
  return next;
}

ScrollStep limitScroll(const ScrollState& state, const ScrollContext& context, int dx, int dy) {
  if (context.scaled) return {};
  ExtentI visible{state.viewWidth, state.viewHeight};
  if (context.fullScreen && ownScreenRules(context.anyScreen, context.localScreen)) {
    visible = context.localScreen;
  } else if (context.fullScreen) {
    const bool screenHoldsAll = context.localScreen.width >= kScreen1024.width &&
                                context.localScreen.height >= kScreen1024.height;
    if (screenHoldsAll || context.remote.width == 640) return {};
    if (context.localScreen == kScreen800) visible = kScreen800;
  }
  return {limitAxis(dx, state.scrollX, state.scrollRangeX, visible.width),
          limitAxis(dy, state.scrollY, state.scrollRangeY, visible.height)};
}

int scrollRequestDelta(std::uint16_t request, std::uint16_t thumbPosition, int visible, int position) {
  switch (request) {
    case 0: return -2;                    // SB_LINEUP, SB_LINELEFT
    case 1: return 2;                     // SB_LINEDOWN, SB_LINERIGHT
    case 2: return -(visible / 4);        // SB_PAGEUP, SB_PAGELEFT
    case 3: return visible / 4;           // SB_PAGEDOWN, SB_PAGERIGHT
    case 4:                               // SB_THUMBPOSITION
    case 5: return thumbPosition - position;  // SB_THUMBTRACK
    default: return 0;
  }
}

RectI pinSizingRect(int edge, RectI proposed, ViewingArea area, int windowWidth, int windowHeight) {
  RectI r = proposed;
  // WMSZ_LEFT 1, RIGHT 2, TOP 3, TOPLEFT 4, TOPRIGHT 5, BOTTOM 6, BOTTOMLEFT 7, BOTTOMRIGHT 8
  switch (edge) {
    case 1: case 4: case 7: r.left = area.left; break;
    case 2: case 5: case 8: r.right = area.left + windowWidth - 1; break;
    default: break;
  }
  switch (edge) {
    case 3: case 4: case 5: r.top = area.top; break;
    case 6: case 7: case 8: r.bottom = area.top + windowHeight - 1; break;
    default: break;
  }
  return r;
}

}  // namespace vantrel

namespace vantrel {
namespace {

// An edge scroll reaches the limit at once.
constexpr int kEdgeStep = 1000;
// How deep the bands along the edges are.
constexpr int kEdgeBand = 10;

}  // namespace

EdgeResponse respondToEdge(const PointerAtEdge& p) {
  EdgeResponse response;
  const ExtentI screen = p.view.localScreen;
  // A scaled picture fills the screen (its bars are the window's own).
  const ExtentI remote = p.view.scaled ? screen : p.view.remote;
  const bool anyScreen = ownScreenRules(p.view.anyScreen, screen);
  const int offsetX = centreOffset(screen.width, remote.width);
  const int offsetY = centreOffset(screen.height, remote.height);
  // Screen position: the client position plus where the remote screen starts.
  const int x = p.clientX + offsetX, y = p.clientY + offsetY;
  const bool overToolbar = p.toolbar.has_value() && p.toolbar->contains(x);
  // Each scroll moves the view before the next band looks at it.
  ScrollState scroll = p.scroll;
  const auto edgeScroll = [&](int dx, int dy) {
    if (!p.view.fullScreen) return;
    response.scrolls.push_back({dx, dy});
    const ScrollStep step = limitScroll(scroll, p.view, dx, dy);
    scroll.scrollX += step.dx;
    scroll.scrollY += step.dy;
  };

  // A remote screen that fills the screen across scrolls at the screen's edges; with the switch
  // so does one that is taller than the screen, at the edges of the part of it that is seen.
  const bool edgeScrolls = offsetX == 0 || (anyScreen && remote.height > screen.height);
  if (!edgeScrolls) {
    if (offsetX <= x && x <= offsetX + kEdgeBand) return response;
    const bool inTopBand = offsetY <= y && y <= offsetY + kEdgeBand;
    response.toolbar = inTopBand && overToolbar && p.view.fullScreen ? ToolbarChange::Show : ToolbarChange::Hide;
    return response;
  }

  RectI seen{0, 0, screen.width, screen.height};
  if (anyScreen) {
    seen = {offsetX, offsetY, std::min(screen.width, offsetX + remote.width),
            std::min(screen.height, offsetY + remote.height)};
  }
  // The side bands turn to vertical scrolls in their corners; several bands may answer at once.
  if (seen.left <= x && x < seen.left + kEdgeBand) {
    if (y < seen.top + kEdgeBand) edgeScroll(0, -kEdgeStep);
    else if (y > seen.bottom - kEdgeBand) edgeScroll(0, kEdgeStep);
    else edgeScroll(-kEdgeStep, 0);
  }
  if (seen.right - kEdgeBand < x && x < seen.right) {
    if (y < seen.top + kEdgeBand) edgeScroll(0, -kEdgeStep);
    else if (y > seen.bottom - kEdgeBand) edgeScroll(0, kEdgeStep);
    else edgeScroll(kEdgeStep, 0);
  }
  if (seen.bottom - kEdgeBand < y && y <= seen.bottom) {
    if (x < seen.left + kEdgeBand) edgeScroll(-kEdgeStep, 0);
    else if (x > seen.right - kEdgeBand) edgeScroll(kEdgeStep, 0);
    else edgeScroll(0, kEdgeStep);
  }
  if (seen.top <= y && y < seen.top + kEdgeBand) {
    // The toolbar drops in only over the top of the remote screen.
    const bool atTop = scroll.scrollY == 0;
    response.toolbar = overToolbar && p.view.fullScreen && atTop ? ToolbarChange::Show : ToolbarChange::Hide;
    if (x < seen.left + 5) edgeScroll(-kEdgeStep, 0);
    else if (x > seen.right - kEdgeBand) edgeScroll(kEdgeStep, 0);
    else edgeScroll(0, -kEdgeStep);
    return response;
  }
  response.toolbar = ToolbarChange::Hide;
  return response;
}

}  // namespace vantrel
