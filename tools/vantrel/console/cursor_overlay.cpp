#include "console/cursor_overlay.h"

#include <algorithm>

namespace vantrel::cli {

bool composeCursor(const RgbImage& screen, const CursorSprite& sprite, ScreenPoint hot, OverlayPicture& out) {
  const int left = hot.x - sprite.hotX, top = hot.y - sprite.hotY;
  // Overlay rows must need no padding in any served format: columns in groups of 4.
  const int x0 = std::max(0, left) / 4 * 4;
  const int x1 = std::min(screen.width, (left + sprite.width + 3) / 4 * 4);
  const int y0 = std::max(0, top), y1 = std::min(screen.height, top + sprite.height);
  if (x0 >= x1 || y0 >= y1 || sprite.argb.size() != static_cast<std::size_t>(sprite.width) * static_cast<std::size_t>(sprite.height)) {
    return false;
  }
  out.area = {x0, y0, x1 - x0, y1 - y0};
  out.rgb.clear();
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      const std::uint8_t* under =
          &screen.rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(screen.width) + static_cast<std::size_t>(x)) * 3];
      const int sx = x - left, sy = y - top;
      std::uint32_t pixel = 0;
      if (sx >= 0 && sx < sprite.width) pixel = sprite.argb[static_cast<std::size_t>(sy * sprite.width + sx)];
      const std::uint32_t alpha = pixel >> 24;
      for (int c = 0; c < 3; ++c) {
        const std::uint32_t cursor = (pixel >> (16 - 8 * c)) & 0xFF;  // premultiplied red, green, blue
        out.rgb.push_back(static_cast<std::uint8_t>(std::min<std::uint32_t>(255, cursor + (under[c] * (255 - alpha) + 127) / 255)));
      }
    }
  }
  return true;
}

}  // namespace vantrel::cli
