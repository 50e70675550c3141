#include "screen/software_surface.h"

#include <algorithm>
#include <array>
#include <bit>
#include <new>

#include "protocol/byte_io.h"
#include "screen/cpu_features.h"
#include "screen/dib_format.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if VANTREL_X86_AT_RUN_TIME
#include <immintrin.h>
#elif VANTREL_SHUFFLE_PATHS
#include <tmmintrin.h>
#endif

namespace vantrel {
namespace {

// A colour field of a BI_BITFIELDS or 16-bit pixel, widened to 8 bits. A field of 8 bits or
// fewer has its bits repeated until 8 are filled (5 bits abcde give abcdeabc), which is the
// field times a pattern of ones every `bits` places, shifted down: no table and no branch, so
// that a row of pixels is widened in vector registers. A wider field keeps its top 8 bits.
struct Field {
  std::uint32_t shift = 0;  // of the field's lowest bit
  std::uint32_t low = 0;    // the field's bits once shifted down
  std::uint32_t repeat = 1;
  std::uint32_t down = 0;

  constexpr explicit Field(std::uint32_t mask) {
    if (mask == 0) return;
    shift = static_cast<std::uint32_t>(std::countr_zero(mask));
    const auto bits = static_cast<std::uint32_t>(std::countr_one(mask >> shift));
    low = bits >= 32 ? ~0u : (1u << bits) - 1u;
    if (bits > 8) {
      down = bits - 8;
      return;
    }
    std::uint32_t filled = bits;
    for (; filled < 8; filled += bits) repeat = repeat << bits | 1u;
    down = filled - 8;
  }

  bool operator==(const Field&) const = default;
  constexpr std::uint32_t widen(std::uint32_t pixel) const { return (((pixel >> shift) & low) * repeat >> down) & 0xFFu; }
};

struct Masks {
  Field red;
  Field green;
  Field blue;
  constexpr std::uint32_t colour(std::uint32_t pixel) const {
    return red.widen(pixel) << 16 | green.widen(pixel) << 8 | blue.widen(pixel);
  }
  bool operator==(const Masks&) const = default;
};

constexpr Masks k565{Field(0xF800), Field(0x07E0), Field(0x001F)};
constexpr Masks k555{Field(0x7C00), Field(0x03E0), Field(0x001F)};

// Writes `colour` to a target pixel as the raster operation says.
template <RasterOp Op>
void put(std::uint32_t& target, std::uint32_t colour) {
  if constexpr (Op == RasterOp::Copy) {
    target = colour;
  } else {
    target ^= colour;
  }
}

// Draws `count` pixels of one stored row, starting at pixel `first`, as 0x00RRGGBB onto a
// target row. Whole rows at a time, one loop per format, so that the common ones (16-bit
// fields, 24 and 32 bits) run in vector registers where the compiler has them.
class RowReader {
 public:
  RowReader(const DibFormat& format, std::span<const std::uint8_t> info)
      : format_(format),
        masks_(masksFor(format, info)) {
    if (format.bitCount <= 8) {
      for (std::uint32_t k = 0; k < format.colourCount && k < table_.size(); ++k) {
        const std::uint8_t* quad = info.data() + DibFormat::kHeaderSize + 4 * k;
        table_[k] = std::uint32_t{quad[2]} << 16 | std::uint32_t{quad[1]} << 8 | quad[0];
      }
    }
  }

  template <RasterOp Op>
  void draw(const std::uint8_t* row, std::uint32_t first, std::uint32_t count, std::uint32_t* out) const {
    switch (format_.bitCount) {
      case 1:
      case 4:
      case 8: drawIndexed<Op>(row, first, count, out); break;
      case 16:
        if (masks_ == k565) {
          drawFixedFields<Op, k565>(row + 2 * std::size_t{first}, count, out);
        } else if (masks_ == k555) {
          drawFixedFields<Op, k555>(row + 2 * std::size_t{first}, count, out);
        } else {
          for (std::uint32_t i = 0; i < count; ++i) put<Op>(out[i], masks_.colour(loadU16le(row + 2 * (first + i))));
        }
        break;
      case 24:
        for (std::uint32_t i = 0; i < count; ++i) {
          const std::uint8_t* p = row + 3 * (first + i);
          put<Op>(out[i], std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0]);
        }
        break;
      case 32:
        if (format_.compression == DibFormat::kRgb) {
          for (std::uint32_t i = 0; i < count; ++i) put<Op>(out[i], loadU32le(row + 4 * (first + i)) & 0x00FFFFFFu);
        } else {
          for (std::uint32_t i = 0; i < count; ++i) put<Op>(out[i], masks_.colour(loadU32le(row + 4 * (first + i))));
        }
        break;
      default: break;
    }
  }

 private:
  template <RasterOp Op>
  void drawIndexed(const std::uint8_t* row, std::uint32_t first, std::uint32_t count, std::uint32_t* out) const {
    if (format_.bitCount == 8) {
      for (std::uint32_t i = 0; i < count; ++i) put<Op>(out[i], table_[row[first + i]]);
      return;
    }
    const std::uint32_t bits = format_.bitCount;
    const std::uint32_t perByte = 8 / bits;
    const std::uint32_t valueMask = (1u << bits) - 1u;
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint32_t p = first + i;
      const std::uint32_t shift = (perByte - 1 - p % perByte) * bits;  // leftmost pixel in the high bits
      put<Op>(out[i], table_[(std::uint32_t{row[p / perByte]} >> shift) & valueMask]);
    }
  }

  // 16-bit pixels of the two layouts every 16-bit screen has. The fields are constants, so
  // that every shift has a constant count: WebAssembly's compiler shifts lane by lane where a
  // count is only known at run time.
  template <RasterOp Op, Masks M>
  static void drawFixedFields(const std::uint8_t* pixels, std::uint32_t count, std::uint32_t* out) {
    std::uint32_t i = 0;
#if defined(__SSE2__)
    // Eight pixels a step in 16-bit lanes, which a narrow field times its pattern fits; the
    // result is below 256 without a mask, as the product has at most `down` + 8 bits.
    const auto field = [](__m128i p, const Field& f) {
      const __m128i value = _mm_and_si128(_mm_srli_epi16(p, static_cast<int>(f.shift)),
                                          _mm_set1_epi16(static_cast<short>(f.low)));
      return _mm_srli_epi16(_mm_mullo_epi16(value, _mm_set1_epi16(static_cast<short>(f.repeat))),
                            static_cast<int>(f.down));
    };
    for (; i + 8 <= count; i += 8) {
      const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + 2 * std::size_t{i}));
      const __m128i greenBlue = _mm_or_si128(_mm_slli_epi16(field(p, M.green), 8), field(p, M.blue));
      const __m128i red = field(p, M.red);
      auto* to = reinterpret_cast<__m128i*>(out + i);
      __m128i first = _mm_unpacklo_epi16(greenBlue, red), second = _mm_unpackhi_epi16(greenBlue, red);
      if constexpr (Op == RasterOp::Invert) {
        first = _mm_xor_si128(first, _mm_loadu_si128(to));
        second = _mm_xor_si128(second, _mm_loadu_si128(to + 1));
      }
      _mm_storeu_si128(to, first);
      _mm_storeu_si128(to + 1, second);
    }
#endif
    for (; i < count; ++i) put<Op>(out[i], M.colour(loadU16le(pixels + 2 * std::size_t{i})));
  }

  static Masks masksFor(const DibFormat& format, std::span<const std::uint8_t> info) {
    if (format.compression == DibFormat::kBitfields) {
      const std::uint8_t* m = info.data() + DibFormat::kHeaderSize;
      return {Field(loadU32le(m)), Field(loadU32le(m + 4)), Field(loadU32le(m + 8))};
    }
    if (format.bitCount == 16) return k555;
    return {Field(0xFF0000), Field(0x00FF00), Field(0x0000FF)};
  }

  DibFormat format_;
  Masks masks_;
  std::array<std::uint32_t, 256> table_{};  // entries past the table stay black
};

constexpr std::uint32_t kOpaque = 0xFF000000u;

#if VANTREL_SHUFFLE_PATHS
// toCanvas four pixels a step, a byte shuffle swapping red and blue; returns how many it did.
VANTREL_TARGET_SSSE3 std::size_t toCanvasWide(const std::uint32_t* from, std::uint32_t* to, std::size_t count) {
  const __m128i order = _mm_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15);
  const __m128i opaque = _mm_set1_epi32(static_cast<int>(kOpaque));
  std::size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), _mm_or_si128(_mm_shuffle_epi8(p, order), opaque));
  }
  return i;
}
#endif

constexpr std::uint32_t swapRedBlue(std::uint32_t p) { return (p & 0xFFu) << 16 | (p & 0xFF00u) | (p >> 16 & 0xFFu); }

// 0x00RRGGBB as a canvas stores it (bytes red, green, blue, 255), and back. Each is the other's
// inverse for every pixel the window holds.
void toCanvas(const std::uint32_t* from, std::uint32_t* to, std::size_t count) {
  std::size_t i = 0;
#if VANTREL_SHUFFLE_PATHS
  if (cpu::hasSsse3()) i = toCanvasWide(from, to, count);
#endif
  for (; i < count; ++i) to[i] = kOpaque | swapRedBlue(from[i]);
}

void fromCanvas(std::uint32_t* pixels, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) pixels[i] = swapRedBlue(pixels[i]);
}

struct Span1D {
  std::int32_t begin;
  std::int32_t end;
};

// The part of [start, start + length) inside [0, limit).
Span1D clip(std::int64_t start, std::int64_t length, std::int64_t limit) {
  const std::int64_t begin = std::clamp<std::int64_t>(start, 0, limit);
  const std::int64_t end = std::clamp<std::int64_t>(start + length, 0, limit);
  return {static_cast<std::int32_t>(begin), static_cast<std::int32_t>(std::max(begin, end))};
}

}  // namespace

SurfaceResult SoftwareSurface::createSurface(std::uint32_t width, std::uint32_t height) {
  created_ = false;
  storage_.clear();
  pixels_ = window_ = {};
  width_ = height_ = 0;
  const std::uint64_t count = std::uint64_t{width} * height;
  if (count == 0 || count > kMaxPixels) return SurfaceResult::NoBitmap;
  // The window starts half a page (modulo the page) after the surface: a copy between two rows
  // at the same place in their pages stalls every load behind the stores it seems to depend on
  // (4K aliasing), which made copying the surface to the window an order of magnitude slower.
  constexpr std::uint64_t kPage = 4096 / sizeof(std::uint32_t);
  const std::uint64_t windowAt = count + (kPage / 2 + kPage - count % kPage) % kPage;
  try {
    storage_.assign(static_cast<std::size_t>(windowAt + count), 0);
  } catch (const std::bad_alloc&) {
    return SurfaceResult::NoBitmap;
  }
  pixels_ = std::span(storage_).first(static_cast<std::size_t>(count));
  window_ = std::span(storage_).subspan(static_cast<std::size_t>(windowAt), static_cast<std::size_t>(count));
  if (order_ == WindowOrder::Canvas) std::fill(window_.begin(), window_.end(), kOpaque);
  width_ = width;
  height_ = height;
  created_ = true;
  return SurfaceResult::Created;
}

bool SoftwareSurface::querySurfaceFormat(std::span<std::uint8_t> format) {
  if (!created_ || format.size() < DibFormat::kHeaderSize + 12) return false;
  // What GetDIBits reports for a 32-bit display bitmap: bottom-up, BI_BITFIELDS, 8-8-8 masks.
  std::fill(format.begin(), format.end(), std::uint8_t{0});
  storeU32le(format.data(), DibFormat::kHeaderSize);
  storeU32le(format.data() + DibFormat::kWidthAt, width_);
  storeU32le(format.data() + DibFormat::kHeightAt, height_);
  storeU16le(format.data() + 12, 1);
  storeU16le(format.data() + DibFormat::kBitCountAt, 32);
  storeU32le(format.data() + DibFormat::kCompressionAt, DibFormat::kBitfields);
  storeU32le(format.data() + 20, width_ * height_ * 4);
  storeU32le(format.data() + DibFormat::kHeaderSize, 0x00FF0000);
  storeU32le(format.data() + DibFormat::kHeaderSize + 4, 0x0000FF00);
  storeU32le(format.data() + DibFormat::kHeaderSize + 8, 0x000000FF);
  return true;
}

bool SoftwareSurface::clearRect(const SurfaceRect& rect) {
  if (!created_) return false;
  const auto xs = clip(rect.left, rect.width(), width_);
  const auto ys = clip(rect.top, rect.height(), height_);
  for (std::int32_t y = ys.begin; y < ys.end; ++y) {
    auto row = pixels_.begin() + static_cast<std::ptrdiff_t>(std::size_t(y) * width_);
    std::fill(row + xs.begin, row + xs.end, 0u);
  }
  return true;
}

bool SoftwareSurface::drawToSurface(const SurfaceRect& rect, const DibImage& image, RasterOp op, ScrollOffset scroll) {
  if (!created_) return false;
  // A band of rows at a time, copied to the window while it is still in the cache.
  constexpr std::int32_t kBand = 16;
  const auto ys = clip(rect.top, rect.height(), height_);
  for (std::int32_t top = ys.begin; top < ys.end; top += kBand) {
    const std::int32_t bottom = std::min(top + kBand, ys.end);
    drawDibRows(pixels_, width_, height_, rect.left, rect.top, rect.width(), rect.height(), image, op, top, bottom);
    copyToWindow({rect.left, top, rect.right, bottom}, scroll);
  }
  return true;
}

bool SoftwareSurface::restoreWindowArea(const SurfaceRect& rect, ScrollOffset scroll) {
  if (!created_) return false;
  copyToWindow(rect, scroll);
  return true;
}

bool SoftwareSurface::drawOverlay(const SurfaceRect& rect, const DibImage& image, RasterOp op, ScrollOffset scroll) {
  if (!created_) return false;
  const std::int32_t x = rect.left - scroll.x;
  const std::int32_t y = rect.top - scroll.y;
  if (order_ == WindowOrder::Surface) {
    drawDib(window_, width_, height_, x, y, rect.width(), rect.height(), image, op);
    return true;
  }
  // Drawn in the surface's order, so that an exclusive-or inverts the same bits as on the surface.
  const auto xs = clip(x, rect.width(), width_);
  const auto ys = clip(y, rect.height(), height_);
  const auto row = [&](std::int32_t wy) { return window_.data() + std::size_t(wy) * width_ + std::size_t(xs.begin); };
  const auto count = static_cast<std::size_t>(xs.end - xs.begin);
  for (std::int32_t wy = ys.begin; wy < ys.end; ++wy) fromCanvas(row(wy), count);
  drawDib(window_, width_, height_, x, y, rect.width(), rect.height(), image, op);
  for (std::int32_t wy = ys.begin; wy < ys.end; ++wy) toCanvas(row(wy), row(wy), count);
  return true;
}

void SoftwareSurface::realisePalette(std::span<const PaletteEntry> entries) {
  palette_.assign(entries.begin(), entries.end());
}

void SoftwareSurface::paintWindow(WindowRef, std::uint32_t width, std::uint32_t height, ScrollOffset scroll, bool) {
  ++paints_;
  if (!created_) return;
  copyToWindow({0, 0, static_cast<std::int32_t>(std::min(width, width_)), static_cast<std::int32_t>(std::min(height, height_))},
               scroll);
}

void SoftwareSurface::copyToWindow(const SurfaceRect& rect, ScrollOffset scroll) {
  // Source clipped to the surface, destination (source - scroll) to the window.
  auto xs = clip(rect.left, rect.width(), width_);
  auto ys = clip(rect.top, rect.height(), height_);
  xs = clip(std::int64_t{xs.begin} - scroll.x, xs.end - xs.begin, width_);
  ys = clip(std::int64_t{ys.begin} - scroll.y, ys.end - ys.begin, height_);
  for (std::int32_t wy = ys.begin; wy < ys.end; ++wy) {
    const std::size_t sy = static_cast<std::size_t>(std::int64_t{wy} + scroll.y);
    const std::size_t sx = static_cast<std::size_t>(std::int64_t{xs.begin} + scroll.x);
    const std::uint32_t* from = pixels_.data() + sy * width_ + sx;
    std::uint32_t* to = window_.data() + std::size_t(wy) * width_ + std::size_t(xs.begin);
    const auto count = static_cast<std::size_t>(xs.end - xs.begin);
    if (order_ == WindowOrder::Canvas) {
      toCanvas(from, to, count);
    } else {
      std::copy_n(from, count, to);
    }
  }
}

void SoftwareSurface::drawDib(std::span<std::uint32_t> target, std::uint32_t targetWidth, std::uint32_t targetHeight,
                              std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                              const DibImage& image, RasterOp op) {
  drawDibRows(target, targetWidth, targetHeight, x, y, width, height, image, op, 0, static_cast<std::int32_t>(targetHeight));
}

void SoftwareSurface::drawDibRows(std::span<std::uint32_t> target, std::uint32_t targetWidth,
                                  std::uint32_t targetHeight, std::int32_t x, std::int32_t y, std::int32_t width,
                                  std::int32_t height, const DibImage& image, RasterOp op, std::int32_t firstTargetRow,
                                  std::int32_t endTargetRow) {
  const auto format = DibFormat::parse(image.info);
  if (!format || format->infoSize > image.info.size() || format->imageSize > image.pixels.size()) return;
  if (width <= 0 || height <= 0) return;
  // The source rectangle (0, 0, width, height) has its origin at the top-left of a top-down
  // bitmap and at the lower-left of a bottom-up one, so target row r shows stored row r or
  // height - 1 - r; rows and columns outside the bitmap are not drawn.
  const std::int32_t columns = std::min(width, format->width);
  const std::int32_t rows = std::min(height, format->height);
  const std::int32_t firstRow = format->topDown ? 0 : height - rows;
  const auto xs = clip(x, columns, targetWidth);
  auto ys = clip(std::int64_t{y} + firstRow, rows, targetHeight);
  ys = {std::max(ys.begin, firstTargetRow), std::min(ys.end, endTargetRow)};
  if (xs.begin >= xs.end || ys.begin >= ys.end) return;

  const RowReader reader(*format, image.info);
  const auto firstColumn = static_cast<std::uint32_t>(xs.begin - x);
  const auto drawn = static_cast<std::uint32_t>(xs.end - xs.begin);
  for (std::int32_t ty = ys.begin; ty < ys.end; ++ty) {
    const std::int64_t r = std::int64_t{ty} - y;
    const auto stored = static_cast<std::uint64_t>(format->topDown ? r : height - 1 - r);
    const std::uint8_t* row = image.pixels.data() + stored * format->stride;
    std::uint32_t* out = target.data() + std::size_t(ty) * targetWidth + std::size_t(xs.begin);
    if (op == RasterOp::Copy) {
      reader.draw<RasterOp::Copy>(row, firstColumn, drawn, out);
    } else {
      reader.draw<RasterOp::Invert>(row, firstColumn, drawn, out);
    }
  }
}

}  // namespace vantrel
