#pragma once
// The pointer drawn over the served screen, for an overlay: the viewer shows overlays on its
// window only, so the picture is the cursor blended onto what the screen holds under it.

#include <cstdint>
#include <vector>

#include "console/desktop_geometry.h"
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

// The cursor with its hot spot at `hot` over `screen`, into `out` (whose buffer is used again,
// so that a moving pointer allocates nothing once it has been drawn); false when none of it is
// on the screen.
bool composeCursor(const RgbImage& screen, const CursorSprite& sprite, ScreenPoint hot, OverlayPicture& out);

}  // namespace vantrel::cli
