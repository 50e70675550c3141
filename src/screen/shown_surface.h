#pragma once
// The surface of a viewer that shows the picture through a texture or a canvas of its own (the
// SDL window, the browser page): the headless software surface (the remote screen and, over it,
// what the window shows, overlay included), plus a note of what changed since the shell last
// uploaded it. The shell reads under this object's own lock; a receive thread takes it inside
// the display's lock, never the other way round.

#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <vector>

#include "screen/software_surface.h"
#include "screen/surface_port.h"

namespace vantrel {

class ShownSurface final : public SurfacePort {
 public:
  // More changed rectangles than this are merged into the one that holds them all.
  static constexpr std::size_t kMostRects = 64;

  explicit ShownSurface(SoftwareSurface::WindowOrder order = SoftwareSurface::WindowOrder::Surface) : surface_(order) {}

  struct Changes {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool resized = false;  // a new surface: the texture is made again and filled whole
    std::span<const SurfaceRect> rects;
    std::span<const std::uint32_t> pixels;  // what the window shows, in its order, width per row
  };

  SurfaceResult createSurface(std::uint32_t width, std::uint32_t height) override;
  bool querySurfaceFormat(std::span<std::uint8_t> format) override;
  bool clearRect(const SurfaceRect& rect) override;
  bool drawToSurface(const SurfaceRect& rect, const DibImage& image, RasterOp op, ScrollOffset scroll) override;
  bool restoreWindowArea(const SurfaceRect& rect, ScrollOffset scroll) override;
  bool drawOverlay(const SurfaceRect& rect, const DibImage& image, RasterOp op, ScrollOffset scroll) override;
  void realisePalette(std::span<const PaletteEntry> entries) override;
  void paintWindow(WindowRef window, std::uint32_t width, std::uint32_t height, ScrollOffset scroll,
                   bool realisePalette) override;

  // Window thread: hands what changed to `upload`, under the lock, and forgets it. Returns
  // false, without calling, when nothing changed.
  bool takeChanges(const std::function<void(const Changes&)>& upload);

 private:
  // The window shows the whole remote screen; the viewer scrolls and scales when it draws.
  void changed(const SurfaceRect& rect);

  std::mutex lock_;
  SoftwareSurface surface_;
  bool resized_ = false;
  std::vector<SurfaceRect> rects_;
};

}  // namespace vantrel
