#include "console/desktop_geometry.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace vantrel::cli {
namespace {

constexpr std::array<ScreenSize, 3> kServedSizes = {ScreenSize{640, 480}, ScreenSize{800, 600},
                                                    ScreenSize{1024, 768}};

// The served pixel `at` (0 .. served-1) covers desktop pixels [at * desktop / served,
// (at + 1) * desktop / served); its centre picks the one a click means. The first and last
// served pixels take the desktop's edges, so that a pointer pushed against the edge of the view
// reaches a panel at the edge of the desktop.
int served2desktop(int at, int served, int desktop) {
  if (at <= 0) return 0;
  if (at >= served - 1) return desktop - 1;
  const std::int64_t centre = (2 * static_cast<std::int64_t>(at) + 1) * desktop / (2 * static_cast<std::int64_t>(served));
  return static_cast<int>(std::clamp<std::int64_t>(centre, 0, desktop - 1));
}

}  // namespace

DesktopGeometry DesktopGeometry::choose(ScreenSize desktop, std::optional<ScreenSize> requested) {
  DesktopGeometry g;
  g.desktop_ = {std::max(desktop.width, 1), std::max(desktop.height, 1)};
  if (requested) {
    g.screen_ = *requested;
  } else {
    const auto holds = std::find_if(kServedSizes.begin(), kServedSizes.end(), [&](const ScreenSize& s) {
      return g.desktop_.width <= s.width && g.desktop_.height <= s.height;
    });
    g.screen_ = holds != kServedSizes.end() ? *holds : kServedSizes.back();
  }
  const std::int64_t dw = g.desktop_.width, dh = g.desktop_.height, sw = g.screen_.width, sh = g.screen_.height;
  if (dw <= sw && dh <= sh) {
    g.width_ = g.desktop_.width;
    g.height_ = g.desktop_.height;
    return g;
  }
  // Scale by the tighter of the two ratios; the other side rounds to the nearest pixel.
  if (dw * sh >= dh * sw) {
    g.width_ = static_cast<int>(sw);
    g.height_ = static_cast<int>(std::max<std::int64_t>(1, (dh * sw + dw / 2) / dw));
  } else {
    g.height_ = static_cast<int>(sh);
    g.width_ = static_cast<int>(std::max<std::int64_t>(1, (dw * sh + dh / 2) / dh));
  }
  g.left_ = (g.screen_.width - g.width_) / 2;
  g.top_ = (g.screen_.height - g.height_) / 2;
  return g;
}

ScreenPoint DesktopGeometry::toDesktop(ScreenPoint served) const {
  const int x = std::clamp(served.x - left_, 0, width_ - 1);
  const int y = std::clamp(served.y - top_, 0, height_ - 1);
  return {served2desktop(x, width_, desktop_.width), served2desktop(y, height_, desktop_.height)};
}

ScreenPoint DesktopGeometry::toScreen(ScreenPoint desktop) const {
  const auto axis = [](int at, int desktopSide, int servedSide) {
    const int inside = std::clamp(at, 0, desktopSide - 1);
    return static_cast<int>(static_cast<std::int64_t>(inside) * servedSide / desktopSide);
  };
  return {left_ + axis(desktop.x, desktop_.width, width_), top_ + axis(desktop.y, desktop_.height, height_)};
}

}  // namespace vantrel::cli
