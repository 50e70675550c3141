#include "screen/shown_surface.h"

#include <algorithm>

namespace vantrel {
namespace {

constexpr ScrollOffset kNoScroll{};

}  // namespace

void ShownSurface::changed(const SurfaceRect& rect) {
  const SurfaceRect within{std::max(rect.left, 0), std::max(rect.top, 0),
                           std::min<std::int32_t>(rect.right, static_cast<std::int32_t>(surface_.width())),
                           std::min<std::int32_t>(rect.bottom, static_cast<std::int32_t>(surface_.height()))};
  if (within.empty() || resized_) return;
  rects_.push_back(within);
  if (rects_.size() > kMostRects) {
    SurfaceRect all = rects_.front();
    for (const auto& r : rects_) {
      all = {std::min(all.left, r.left), std::min(all.top, r.top), std::max(all.right, r.right),
             std::max(all.bottom, r.bottom)};
    }
    rects_.assign(1, all);
  }
}

SurfaceResult ShownSurface::createSurface(std::uint32_t width, std::uint32_t height) {
  const std::lock_guard guard(lock_);
  const SurfaceResult result = surface_.createSurface(width, height);
  resized_ = true;
  rects_.clear();
  return result;
}

bool ShownSurface::querySurfaceFormat(std::span<std::uint8_t> format) {
  const std::lock_guard guard(lock_);
  return surface_.querySurfaceFormat(format);
}

bool ShownSurface::clearRect(const SurfaceRect& rect) {
  // Only the surface is cleared; the window shows it once the rectangle is drawn.
  const std::lock_guard guard(lock_);
  return surface_.clearRect(rect);
}

bool ShownSurface::drawToSurface(const SurfaceRect& rect, const DibImage& image, RasterOp op, ScrollOffset) {
  const std::lock_guard guard(lock_);
  if (!surface_.drawToSurface(rect, image, op, kNoScroll)) return false;
  changed(rect);
  return true;
}

bool ShownSurface::restoreWindowArea(const SurfaceRect& rect, ScrollOffset) {
  const std::lock_guard guard(lock_);
  if (!surface_.restoreWindowArea(rect, kNoScroll)) return false;
  changed(rect);
  return true;
}

bool ShownSurface::drawOverlay(const SurfaceRect& rect, const DibImage& image, RasterOp op, ScrollOffset) {
  const std::lock_guard guard(lock_);
  if (!surface_.drawOverlay(rect, image, op, kNoScroll)) return false;
  changed(rect);
  return true;
}

void ShownSurface::realisePalette(std::span<const PaletteEntry> entries) {
  const std::lock_guard guard(lock_);
  surface_.realisePalette(entries);
}

void ShownSurface::paintWindow(WindowRef window, std::uint32_t width, std::uint32_t height, ScrollOffset,
                               bool realisePalette) {
  const std::lock_guard guard(lock_);
  surface_.paintWindow(window, width, height, kNoScroll, realisePalette);
  changed({0, 0, static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)});
}

bool ShownSurface::takeChanges(const std::function<void(const Changes&)>& upload) {
  const std::lock_guard guard(lock_);
  if (!resized_ && rects_.empty()) return false;
  upload({surface_.width(), surface_.height(), resized_, rects_, surface_.windowPixels()});
  resized_ = false;
  rects_.clear();
  return true;
}

}  // namespace vantrel
