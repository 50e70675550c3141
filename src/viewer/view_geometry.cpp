#include "viewer/view_geometry.h"

#include <algorithm>

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

Placement fullScreenPlacement(ExtentI needed, ViewingArea area, ExtentI localScreen, ExtentI remote) {
  Placement p;
  p.x = centreOffset(localScreen.width, remote.width);
  p.y = centreOffset(localScreen.height, remote.height);
  p.bordered = p.y != 0;
  p.width = remote.width + (p.bordered ? 2 : 0);
  p.height = remote.height + (p.bordered ? 2 : 0);
  p.windowWidth = std::min(needed.width, area.width);
  p.windowHeight = std::min(needed.height, area.height);
  return p;
}

ScrollBarVisibility scrollBarsFor(bool windowed, ExtentI windowSize, ExtentI needed) {
  if (!windowed) return {};
  return {windowSize.width < needed.width, windowSize.height < needed.height};
}

ScrollState layoutScroll(const ScrollState& state, bool windowed, ExtentI client, ExtentI remote) {
  ScrollState next = state;
  if (windowed) {
    next.viewWidth = std::min(client.width, remote.width);
    next.viewHeight = std::min(client.height, remote.height);
  }
  next.scrollRangeX = remote.width;
  next.scrollRangeY = remote.height;
  next.scrollX = std::max(0, std::min(state.scrollX, next.scrollRangeX - std::max(next.viewWidth, 0)));
  next.scrollY = std::max(0, std::min(state.scrollY, next.scrollRangeY - std::max(next.viewHeight, 0)));
  return next;
}

ScrollStep limitScroll(const ScrollState& state, const ScrollContext& context, int dx, int dy) {
  ExtentI visible{state.viewWidth, state.viewHeight};
  if (context.fullScreen) {
    const bool screenHoldsAll = context.localScreen.width >= kScreen1024.width &&
                                context.localScreen.height >= kScreen1024.height;
    if (screenHoldsAll || context.remoteWidth == 640) return {};
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
