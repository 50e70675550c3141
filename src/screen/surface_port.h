#pragma once
// The off-screen copy of the remote screen and the window it is shown in, as the display code
// sees them. The Win32 shell implements this with a memory DC, a compatible bitmap and the
// viewer window's DC (StretchDIBits, BitBlt, palettes); the headless shell with a 32-bit pixel
// array. The display code decides what to draw and holds the surface lock around every call
// that touches the surface; an implementation takes no lock of its own and shows no boxes.
//
// Every bitmap handed in has been checked by the caller (DibFormat): the info block holds the
// whole BITMAPINFOHEADER (biSize 40) with the masks or colour table it declares, and the pixel
// span holds every row the header declares, padded to 4 bytes. An implementation may rely on it.

#include <cstdint>
#include <span>

#include "catalog/message_box.h"

namespace vantrel {

// Left, top, right, bottom in remote-screen pixels; right and bottom are exclusive.
struct SurfaceRect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;

  std::int32_t width() const { return right - left; }
  std::int32_t height() const { return bottom - top; }
  bool empty() const { return right <= left || bottom <= top; }
  friend bool operator==(const SurfaceRect&, const SurfaceRect&) = default;
};

// Where the window's top-left corner lies on the remote screen: surface (x, y) shows at window
// (x - scroll.x, y - scroll.y).
struct ScrollOffset {
  std::int32_t x = 0;
  std::int32_t y = 0;
};

// SRCCOPY and SRCINVERT.
enum class RasterOp : std::uint8_t { Copy, Invert };

// A device-independent bitmap: BITMAPINFO (header, then masks or colour table) and its pixels.
struct DibImage {
  std::span<const std::uint8_t> info;
  std::span<const std::uint8_t> pixels;
};

// One entry of a logical palette, in PALETTEENTRY order.
struct PaletteEntry {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  std::uint8_t flags = 0;
  friend bool operator==(const PaletteEntry&, const PaletteEntry&) = default;
};

// What createSurface could not make; each failed part has its own box.
enum class SurfaceResult : std::uint8_t {
  Created = 0,
  NoDeviceContext = 1,           // the memory DC could not be made ("CreateDCFailed")
  NoBitmap = 2,                  // the bitmap could not be made ("CreateMemFailed")
  NoDeviceContextNorBitmap = 3,  // neither
};
inline bool lacks(SurfaceResult result, SurfaceResult part) {
  return (static_cast<unsigned>(result) & static_cast<unsigned>(part)) != 0;
}

class SurfacePort {
 public:
  virtual ~SurfacePort() = default;

  // Replaces the window DC, the memory DC and the bitmap with new ones of width x height.
  // Whatever fails stays empty; later drawing then draws nothing and returns false.
  virtual SurfaceResult createSurface(std::uint32_t width, std::uint32_t height) = 0;

  // GetDIBits of one line without a bits buffer: fills `format` (BITMAPINFOHEADER, then room
  // for 256 colours; the caller has set biSize 40 and biBitCount 0). False when it fails.
  virtual bool querySurfaceFormat(std::span<std::uint8_t> format) = 0;

  // Fills `rect` of the surface black. False when there is no surface to draw into.
  virtual bool clearRect(const SurfaceRect& rect) = 0;

  // Draws `image` 1:1 at rect.left, rect.top (source 0, 0, rect width x height) into the
  // surface with `op`, then copies `rect` of the surface to the window at rect - scroll and
  // flushes. False when there is no surface to draw into (then nothing is drawn).
  virtual bool drawToSurface(const SurfaceRect& rect, const DibImage& image, RasterOp op,
                             ScrollOffset scroll) = 0;

  // Copies `rect` of the surface to the window at rect - scroll (how an overlay is erased).
  virtual bool restoreWindowArea(const SurfaceRect& rect, ScrollOffset scroll) = 0;

  // Draws `image` 1:1 straight onto the window at rect - scroll with `op`; the surface is
  // left alone.
  virtual bool drawOverlay(const SurfaceRect& rect, const DibImage& image, RasterOp op,
                           ScrollOffset scroll) = 0;

  // Replaces the logical palette with one of these entries (1 to 256), then selects, realises
  // and updates colours in the surface DC and the window DC. Only used when the surface has
  // 8 bits per pixel or fewer.
  virtual void realisePalette(std::span<const PaletteEntry> entries) = 0;

  // WM_PAINT: begins painting `window`, realises the palette in the paint DC when
  // `realisePalette` is set, copies the surface (width x height) to it at -scroll, ends
  // painting. Called only once a full frame has been drawn.
  virtual void paintWindow(WindowRef window, std::uint32_t width, std::uint32_t height,
                           ScrollOffset scroll, bool realisePalette) = 0;
};

}  // namespace vantrel
