#pragma once
// Where the remote screen goes in the viewer's window: scaled to fit with its aspect kept and
// centred in black bars, or 1:1 with a scroll offset when the window is smaller. And the way
// back, from a point of the window to a pixel of the remote screen, with the window's corners
// of the picture landing exactly on the remote corners.

#include <cstdint>

namespace vantrel::cli {

struct Size {
  int width = 0;
  int height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

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
ViewLayout fitView(Size remote, Size window, bool scaled, Point scroll = {});

// The remote pixel under window point `at`; points outside the picture count as its nearest
// edge, so that a drag past the bars still reaches the remote edge.
Point remotePoint(const ViewLayout& layout, Point at);

// The first window size: the remote screen's own when `usable` (the desktop's free area) has
// room for it; otherwise scaled down to fit with its aspect kept, or with `oneToOne` cut to the
// usable area (the rest is scrolled to).
Size initialWindowSize(Size remote, Size usable, bool oneToOne);

}  // namespace vantrel::cli
