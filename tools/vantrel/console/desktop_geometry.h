#pragma once
// Where a desktop of any size lies on the screen a viewer is served (the protocol carries 640 x
// 480, 800 x 600 and 1024 x 768 only): whole and 1:1 at the top left of a screen that holds it,
// or scaled down with its aspect kept and centred between black bars. Pointer positions go
// both ways between the two.

#include <optional>

namespace vantrel::cli {

struct ScreenSize {
  int width = 0;
  int height = 0;
  bool operator==(const ScreenSize&) const = default;
};

struct PixelRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool empty() const { return width <= 0 || height <= 0; }
  bool operator==(const PixelRect&) const = default;
};

struct ScreenPoint {
  int x = 0;
  int y = 0;
  bool operator==(const ScreenPoint&) const = default;
};

class DesktopGeometry {
 public:
  // The served screen is `requested` when given, else the smallest supported size that holds
  // the desktop, else the largest.
  static DesktopGeometry choose(ScreenSize desktop, std::optional<ScreenSize> requested = std::nullopt);

  ScreenSize desktop() const { return desktop_; }
  ScreenSize screen() const { return screen_; }
  // The desktop's picture on the served screen.
  int left() const { return left_; }
  int top() const { return top_; }
  int width() const { return width_; }
  int height() const { return height_; }
  PixelRect picture() const { return {left_, top_, width_, height_}; }
  bool scaled() const { return width_ != desktop_.width || height_ != desktop_.height; }

  // A served-screen position to the desktop pixel under it; positions on the bars go to the
  // nearest edge of the desktop.
  ScreenPoint toDesktop(ScreenPoint served) const;
  // A desktop pixel to the served pixel that shows it.
  ScreenPoint toScreen(ScreenPoint desktop) const;

 private:
  ScreenSize desktop_;
  ScreenSize screen_;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
};

}  // namespace vantrel::cli
