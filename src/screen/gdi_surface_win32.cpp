#include <windows.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <type_traits>
#include <utility>

#include "screen/gdi_surface.h"

namespace vantrel {
namespace {

// GDI objects and DCs owned here are freed exactly once, on every path.
struct DcDeleter {
  void operator()(HDC dc) const { DeleteDC(dc); }
};
struct ObjectDeleter {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using MemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;
using Bitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, ObjectDeleter>;
using Palette = std::unique_ptr<std::remove_pointer_t<HPALETTE>, ObjectDeleter>;

// A DC from GetDC, given back with ReleaseDC to the window it came from.
class WindowDc {
 public:
  WindowDc() = default;
  WindowDc(HWND window, HDC dc) : window_(window), dc_(dc) {}
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  WindowDc& operator=(WindowDc&& other) noexcept {
    if (this != &other) {
      release();
      window_ = std::exchange(other.window_, nullptr);
      dc_ = std::exchange(other.dc_, nullptr);
    }
    return *this;
  }
  ~WindowDc() { release(); }
  HDC get() const { return dc_; }

 private:
  void release() {
    if (dc_ != nullptr) ReleaseDC(window_, dc_);
    dc_ = nullptr;
  }
  HWND window_ = nullptr;
  HDC dc_ = nullptr;
};

// Selects the surface bitmap into the memory DC for the life of the object and puts the
// previous one back afterwards, so the bitmap is never left selected.
class Selection {
 public:
  Selection(HDC dc, HBITMAP bitmap)
      : dc_(dc), previous_(dc != nullptr && bitmap != nullptr ? SelectObject(dc, bitmap) : nullptr) {}
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;
  ~Selection() {
    if (ok()) SelectObject(dc_, previous_);
  }
  bool ok() const { return previous_ != nullptr; }  // a bitmap selection fails with null

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// The bitmap header with its masks or colour table, copied to memory aligned for GDI's
// structures: the caller's bytes may sit at any address.
class AlignedInfo {
 public:
  explicit AlignedInfo(std::span<const std::uint8_t> info) {
    std::memcpy(block_.data(), info.data(), std::min(info.size(), sizeof block_));
  }
  const BITMAPINFO* get() const { return reinterpret_cast<const BITMAPINFO*>(block_.data()); }

 private:
  // The header and 256 colours, the most a bitmap we draw declares.
  alignas(alignof(BITMAPINFO)) std::array<std::uint8_t, sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD)> block_{};
};

DWORD rop(RasterOp op) { return op == RasterOp::Copy ? SRCCOPY : SRCINVERT; }

// Stretching averages the pixels it squeezes together (or blends those it spreads), so that text
// stays readable; HALFTONE wants the brush origin set after it.
void smoothStretching(HDC dc) {
  SetStretchBltMode(dc, HALFTONE);
  SetBrushOrgEx(dc, 0, 0, nullptr);
}

// The DC's clipping and modes as they were, back at the end of the scope.
class SavedDc {
 public:
  explicit SavedDc(HDC dc) : dc_(dc), saved_(SaveDC(dc)) {}
  SavedDc(const SavedDc&) = delete;
  SavedDc& operator=(const SavedDc&) = delete;
  ~SavedDc() {
    if (saved_ != 0) RestoreDC(dc_, saved_);
  }

 private:
  HDC dc_;
  int saved_;
};

Rect asRect(const SurfaceRect& r) { return {r.left, r.top, r.width(), r.height()}; }

class Win32GdiSurface final : public GdiSurface {
 public:
  ~Win32GdiSurface() override {
    // The palette may still be selected into the DCs; they go first.
    surfaceDc_.reset();
    windowDc_ = WindowDc();
  }

  void setWindow(WindowRef window) override { window_ = static_cast<HWND>(window); }
  void setScaledView(const std::optional<ViewLayout>& layout) override { scaled_ = layout; }

  SurfaceResult createSurface(std::uint32_t width, std::uint32_t height) override {
    windowDc_ = WindowDc();
    if (window_ != nullptr) windowDc_ = WindowDc(window_, GetDC(window_));
    HDC screen = GetDC(nullptr);
    surfaceDc_.reset(screen != nullptr ? CreateCompatibleDC(screen) : nullptr);
    surfaceBitmap_.reset(screen != nullptr ? CreateCompatibleBitmap(screen, static_cast<int>(width),
                                                                    static_cast<int>(height))
                                           : nullptr);
    if (screen != nullptr) ReleaseDC(nullptr, screen);
    const unsigned missing = (surfaceDc_ ? 0u : static_cast<unsigned>(SurfaceResult::NoDeviceContext)) |
                             (surfaceBitmap_ ? 0u : static_cast<unsigned>(SurfaceResult::NoBitmap));
    return static_cast<SurfaceResult>(missing);
  }

  bool querySurfaceFormat(std::span<std::uint8_t> format) override {
    if (!surfaceDc_ || !surfaceBitmap_ || format.size() < sizeof(BITMAPINFOHEADER)) return false;
    // GetDIBits with a bit count of 0 fills in the header only; room for a colour table is
    // still given in case a driver writes one.
    alignas(alignof(BITMAPINFO)) std::array<std::uint8_t, sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD)> block{};
    const std::size_t size = std::min(format.size(), block.size());
    std::memcpy(block.data(), format.data(), size);
    const int lines = GetDIBits(surfaceDc_.get(), surfaceBitmap_.get(), 0, 1, nullptr,
                                reinterpret_cast<BITMAPINFO*>(block.data()), DIB_RGB_COLORS);
    std::memcpy(format.data(), block.data(), size);
    return lines != 0;
  }

  bool clearRect(const SurfaceRect& rect) override {
    Selection selection(surfaceDc_.get(), surfaceBitmap_.get());
    if (!selection.ok()) return false;
    const RECT r{rect.left, rect.top, rect.right, rect.bottom};
    FillRect(surfaceDc_.get(), &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    return true;
  }

  bool drawToSurface(const SurfaceRect& rect, const DibImage& image, RasterOp op, ScrollOffset scroll) override {
    Selection selection(surfaceDc_.get(), surfaceBitmap_.get());
    if (!selection.ok()) return false;
    const AlignedInfo info(image.info);
    StretchDIBits(surfaceDc_.get(), rect.left, rect.top, rect.width(), rect.height(), 0, 0, rect.width(),
                  rect.height(), image.pixels.data(), info.get(), DIB_RGB_COLORS, rop(op));
    // The receive thread's drawing is batched per thread; flushing shows it at once.
    if (copyToWindow(rect, scroll)) GdiFlush();
    return true;
  }

  bool restoreWindowArea(const SurfaceRect& rect, ScrollOffset scroll) override {
    Selection selection(surfaceDc_.get(), surfaceBitmap_.get());
    if (!selection.ok()) return false;
    copyToWindow(rect, scroll);
    return true;
  }

  bool drawOverlay(const SurfaceRect& rect, const DibImage& image, RasterOp op, ScrollOffset scroll) override {
    if (windowDc_.get() == nullptr) return false;
    const AlignedInfo info(image.info);
    Rect to{rect.left - scroll.x, rect.top - scroll.y, rect.width(), rect.height()};
    std::optional<SavedDc> saved;
    if (scaled_) {
      // Shown where the picture has those pixels; an exclusive-or overlay is not blended.
      to = shownRect(*scaled_, asRect(rect));
      saved.emplace(windowDc_.get());
      SetStretchBltMode(windowDc_.get(), COLORONCOLOR);
    }
    StretchDIBits(windowDc_.get(), to.x, to.y, to.width, to.height, 0, 0, rect.width(), rect.height(),
                  image.pixels.data(), info.get(), DIB_RGB_COLORS, rop(op));
    GdiFlush();
    return true;
  }

  void realisePalette(std::span<const PaletteEntry> entries) override {
    const std::size_t count = std::min<std::size_t>(entries.size(), 256);
    if (count == 0) return;
    // LOGPALETTE declares one entry; the block has room for 256.
    alignas(alignof(LOGPALETTE)) std::array<std::uint8_t, sizeof(LOGPALETTE) + 255 * sizeof(PALETTEENTRY)> block{};
    auto* logical = reinterpret_cast<LOGPALETTE*>(block.data());
    logical->palVersion = 0x300;
    logical->palNumEntries = static_cast<WORD>(count);
    for (std::size_t k = 0; k < count; ++k) {
      logical->palPalEntry[k] = PALETTEENTRY{entries[k].red, entries[k].green, entries[k].blue, entries[k].flags};
    }
    // The old palette is taken out of both DCs before it is deleted.
    const auto stock = static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
    for (HDC dc : {surfaceDc_.get(), windowDc_.get()}) {
      if (dc != nullptr) SelectPalette(dc, stock, FALSE);
    }
    palette_.reset(CreatePalette(logical));
    if (!palette_) return;
    for (HDC dc : {surfaceDc_.get(), windowDc_.get()}) {
      if (dc == nullptr) continue;
      SelectPalette(dc, palette_.get(), FALSE);
      RealizePalette(dc);
      UpdateColors(dc);
    }
  }

  void paintWindow(WindowRef window, std::uint32_t width, std::uint32_t height, ScrollOffset scroll,
                   bool realise) override {
    const auto hwnd = static_cast<HWND>(window);
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(hwnd, &paint);
    if (dc != nullptr) {
      HPALETTE previousPalette = nullptr;
      if (realise && palette_ && surfaceDc_) {
        SelectPalette(surfaceDc_.get(), palette_.get(), FALSE);
        RealizePalette(surfaceDc_.get());
        UpdateColors(surfaceDc_.get());
        previousPalette = SelectPalette(dc, palette_.get(), FALSE);
        RealizePalette(dc);
      }
      Selection selection(surfaceDc_.get(), surfaceBitmap_.get());
      if (selection.ok() && scaled_) {
        paintScaled(dc, *scaled_);
      } else if (selection.ok()) {
        BitBlt(dc, -scroll.x, -scroll.y, static_cast<int>(width), static_cast<int>(height), surfaceDc_.get(), 0, 0,
               SRCCOPY);
      }
      if (previousPalette != nullptr) SelectPalette(dc, previousPalette, FALSE);
    }
    EndPaint(hwnd, &paint);
  }

 private:
  // The surface (selected by the caller) to the window: 1:1 at the scroll offset, or the part
  // of the scaled picture that shows `rect`.
  bool copyToWindow(const SurfaceRect& rect, ScrollOffset scroll) {
    HDC window = windowDc_.get();
    if (!scaled_) {
      return BitBlt(window, rect.left - scroll.x, rect.top - scroll.y, rect.width(), rect.height(), surfaceDc_.get(),
                    rect.left, rect.top, SRCCOPY) != FALSE;
    }
    const ScaledCopy copy = scaledCopy(*scaled_, asRect(rect));
    if (copy.clip.width <= 0 || window == nullptr) return false;
    // A whole frame may come before any paint has drawn the bars.
    if (copy.source == scaled_->source) paintBars(window, scaled_->target);
    const SavedDc saved(window);
    IntersectClipRect(window, copy.clip.x, copy.clip.y, copy.clip.x + copy.clip.width, copy.clip.y + copy.clip.height);
    smoothStretching(window);
    return StretchBlt(window, copy.target.x, copy.target.y, copy.target.width, copy.target.height, surfaceDc_.get(),
                      copy.source.x, copy.source.y, copy.source.width, copy.source.height, SRCCOPY) != FALSE;
  }

  // The client around the picture `target` black: the window's background is never erased.
  void paintBars(HDC dc, const Rect& target) {
    const SavedDc saved(dc);
    ExcludeClipRect(dc, target.x, target.y, target.x + target.width, target.y + target.height);
    RECT client{};
    GetClientRect(window_, &client);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  }

  // The whole picture into its place, in its bars.
  void paintScaled(HDC dc, const ViewLayout& layout) {
    const Rect& t = layout.target;
    const Rect& s = layout.source;
    paintBars(dc, t);
    const SavedDc saved(dc);
    smoothStretching(dc);
    StretchBlt(dc, t.x, t.y, t.width, t.height, surfaceDc_.get(), s.x, s.y, s.width, s.height, SRCCOPY);
  }

  HWND window_ = nullptr;
  std::optional<ViewLayout> scaled_;
  // Declared before the DCs so that it is destroyed after them.
  Palette palette_;
  Bitmap surfaceBitmap_;
  WindowDc windowDc_;
  MemoryDc surfaceDc_;
};

}  // namespace

std::unique_ptr<GdiSurface> makeGdiSurface() { return std::make_unique<Win32GdiSurface>(); }

}  // namespace vantrel
