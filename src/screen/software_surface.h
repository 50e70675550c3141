#pragma once
// The headless viewer's surface: a 32-bit pixel array (0x00RRGGBB, top row first) for the
// remote screen and another for the window, drawn as GDI draws device-independent bitmaps
// onto a 32-bit display:
//  - rows padded to 4 bytes; bottom-up when biHeight > 0, top-down when negative; the source
//    rectangle (0, 0, w, h) has its origin at the lower-left corner of a bottom-up bitmap;
//  - BI_RGB at 1, 4, 8 bits (colour table; an index past the table is black), 16 bits (555),
//    24 and 32 bits; BI_BITFIELDS at 16 and 32 bits, fields widened to 8 bits by repeating
//    their high bits;
//  - SRCCOPY replaces, SRCINVERT exclusive-ors; everything is clipped to the target and to
//    the bitmap.
// It reports 32 bits per pixel. Not thread-safe: the display calls it under its lock.
// The window may instead keep its pixels as a browser's canvas takes them (bytes red, green,
// blue, 255), converted as they are copied from the surface: the page then draws straight from it.

#include <cstdint>
#include <span>
#include <vector>

#include "screen/surface_port.h"

namespace vantrel {

class SoftwareSurface final : public SurfacePort {
 public:
  // Larger surfaces are refused as a display driver would refuse the bitmap.
  static constexpr std::uint64_t kMaxPixels = 4096ull * 4096ull;

  enum class WindowOrder : std::uint8_t { Surface, Canvas };
  explicit SoftwareSurface(WindowOrder order = WindowOrder::Surface) : order_(order) {}
  SoftwareSurface(const SoftwareSurface&) = delete;  // the views point into its own storage
  SoftwareSurface& operator=(const SoftwareSurface&) = delete;

  SurfaceResult createSurface(std::uint32_t width, std::uint32_t height) override;
  bool querySurfaceFormat(std::span<std::uint8_t> format) override;
  bool clearRect(const SurfaceRect& rect) override;
  bool drawToSurface(const SurfaceRect& rect, const DibImage& image, RasterOp op, ScrollOffset scroll) override;
  bool restoreWindowArea(const SurfaceRect& rect, ScrollOffset scroll) override;
  bool drawOverlay(const SurfaceRect& rect, const DibImage& image, RasterOp op, ScrollOffset scroll) override;
  void realisePalette(std::span<const PaletteEntry> entries) override;
  void paintWindow(WindowRef window, std::uint32_t width, std::uint32_t height, ScrollOffset scroll,
                   bool realisePalette) override;

  std::uint32_t width() const { return width_; }
  std::uint32_t height() const { return height_; }
  bool hasSurface() const { return created_; }
  std::span<const std::uint32_t> pixels() const { return pixels_; }
  std::uint32_t pixel(std::uint32_t x, std::uint32_t y) const { return pixels_[std::size_t{y} * width_ + x]; }
  // The window is as large as the surface; its pixels in its WindowOrder.
  std::span<const std::uint32_t> windowPixels() const { return window_; }
  std::uint32_t windowPixel(std::uint32_t x, std::uint32_t y) const { return window_[std::size_t{y} * width_ + x]; }
  const std::vector<PaletteEntry>& palette() const { return palette_; }
  std::uint32_t paintCount() const { return paints_; }

  // Draws a bitmap 1:1 into a 32-bit target of targetWidth x targetHeight at (x, y), source
  // (0, 0, width, height). The bitmap must be one DibFormat accepts with all its info and rows.
  static void drawDib(std::span<std::uint32_t> target, std::uint32_t targetWidth, std::uint32_t targetHeight,
                      std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, const DibImage& image,
                      RasterOp op);

 private:
  void copyToWindow(const SurfaceRect& rect, ScrollOffset scroll);
  // drawDib for the target rows from firstTargetRow up to endTargetRow only.
  static void drawDibRows(std::span<std::uint32_t> target, std::uint32_t targetWidth, std::uint32_t targetHeight,
                          std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                          const DibImage& image, RasterOp op, std::int32_t firstTargetRow, std::int32_t endTargetRow);

  WindowOrder order_;
  bool created_ = false;
  std::uint32_t width_ = 0;
  std::uint32_t height_ = 0;
  std::vector<std::uint32_t> storage_;  // the surface, then the window
  std::span<std::uint32_t> pixels_;
  std::span<std::uint32_t> window_;
  std::vector<PaletteEntry> palette_;
  std::uint32_t paints_ = 0;
};

}  // namespace vantrel
