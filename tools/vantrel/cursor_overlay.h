#pragma once
// The pointer drawn over the served screen, for an overlay: the viewer shows overlays on its
// window only, so the picture is the cursor blended onto what the screen holds under it.

#include <cstdint>
#include <optional>
#include <vector>

#include "desktop_geometry.h"
#include "png_image.h"

namespace vantrel::cli {

// The pointer's image: premultiplied ARGB, top-down rows; hot spot relative to its top left.
struct CursorSprite {
  int width = 0;
  int height = 0;
  int hotX = 0;
  int hotY = 0;
  std::vector<std::uint32_t> argb;
};

struct OverlayPicture {
  PixelRect area;            // whole groups of 4 columns, within the screen
  std::vector<std::uint8_t> rgb;  // area.width * area.height * 3, top-down
};

// The cursor with its hot spot at `hot` over `screen`; nothing when none of it is on the screen.
std::optional<OverlayPicture> composeCursor(const RgbImage& screen, const CursorSprite& sprite, ScreenPoint hot);

}  // namespace vantrel::cli
