#pragma once
// Where the remote screen goes in a viewer's window when the window decides its size: scaled to
// fit with its aspect kept and centred in black bars, or 1:1 with a scroll offset when the
// window is smaller. And the way back, from a point of the window to a pixel of the remote
// screen, with the window's corners of the picture landing exactly on the remote corners.
// Shared by the SDL viewer and the DLL's scaled view.

#include <cstdint>

#include "viewer/view_geometry.h"

namespace vantrel {

struct Rect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct Point {
  int x = 0;
  int y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

// What one frame shows: `source` of the remote screen drawn into `target` of the window.
struct ViewLayout {
  Rect source;
  Rect target;
  friend bool operator==(const ViewLayout&, const ViewLayout&) = default;
};

// Scaled: the whole remote screen, as large as the window allows. 1:1: the part that fits,
// starting at `scroll` (kept within the screen), centred when the window is larger.
ViewLayout fitView(ExtentI remote, ExtentI window, bool scaled, Point scroll = {});

// The remote pixel under window point `at`; points outside the picture count as its nearest
// edge, so that a drag past the bars still reaches the remote edge.
Point remotePoint(const ViewLayout& layout, Point at);

// The largest size of `remote`'s aspect within `box`, rounded to whole pixels.
ExtentI fitInside(ExtentI remote, ExtentI box);

// The first window size: the remote screen's own when `usable` (the desktop's free area) has
// room for it; otherwise scaled down to fit with its aspect kept, or with `oneToOne` cut to the
// usable area (the rest is scrolled to).
ExtentI initialWindowSize(ExtentI remote, ExtentI usable, bool oneToOne);

// The window pixels that show `remote`, a rectangle of the remote screen, in a scaled picture.
Rect shownRect(const ViewLayout& layout, Rect remote);

// How a changed rectangle of the remote screen reaches a scaled picture without redrawing all
// of it: `source` (the rectangle widened so that the smoothing has the pixels around it, on
// whole steps of the scale) stretched onto `target`, which is exactly where the whole picture
// has that part; only `clip`, the rectangle's own pixels in the window, is written.
struct ScaledCopy {
  Rect source;
  Rect target;
  Rect clip;
  friend bool operator==(const ScaledCopy&, const ScaledCopy&) = default;
};
// `changed` lies on the remote screen (parts outside it are dropped); an empty result (clip of
// no size) means nothing to copy.
ScaledCopy scaledCopy(const ViewLayout& layout, Rect changed);

}  // namespace vantrel
