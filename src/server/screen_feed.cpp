#include "server/screen_feed.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "protocol/byte_io.h"
#include "screen/cpu_features.h"

#if VANTREL_X86_AT_RUN_TIME
#include <immintrin.h>
#endif

namespace vantrel {
namespace {

constexpr std::uint32_t kBitFields = 3;  // biCompression: the three masks follow the header
constexpr int kTile = static_cast<int>(ScreenFeed::kTileSize);

#if VANTREL_X86_AT_RUN_TIME
// RGB565 of sixteen pixels a step: byte shuffles gather the reds, greens and blues, and the
// two bytes of each value are put together in byte lanes. Each eight values go to
// store(index, values); returns the pixels it did.
template <class Store>
__attribute__((target("ssse3"))) std::size_t serve565Wide(const std::uint8_t* rgb, std::size_t count, Store store) {
  // For each colour, which byte of each of the three 16-byte loads goes to which pixel.
  alignas(16) static constexpr std::int8_t kGather[3][3][16] = {
      {{0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
       {-1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14, -1, -1, -1, -1, -1},
       {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, 4, 7, 10, 13}},
      {{1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
       {-1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1},
       {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14}},
      {{2, 5, 8, 11, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
       {-1, -1, -1, -1, -1, 1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1},
       {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15}}};
  std::size_t i = 0;
  for (; i + 16 <= count; i += 16, rgb += 48) {
    const __m128i in[3] = {_mm_loadu_si128(reinterpret_cast<const __m128i*>(rgb)),
                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(rgb + 16)),
                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(rgb + 32))};
    __m128i colour[3];
    for (int c = 0; c < 3; ++c) {
      colour[c] = _mm_setzero_si128();
      for (int k = 0; k < 3; ++k) {
        colour[c] = _mm_or_si128(colour[c], _mm_shuffle_epi8(in[k], _mm_load_si128(reinterpret_cast<const __m128i*>(kGather[c][k]))));
      }
    }
    const __m128i high = _mm_or_si128(_mm_and_si128(colour[0], _mm_set1_epi8(static_cast<char>(0xF8))),
                                      _mm_and_si128(_mm_srli_epi16(colour[1], 5), _mm_set1_epi8(0x07)));
    const __m128i low = _mm_or_si128(_mm_and_si128(_mm_slli_epi16(colour[1], 3), _mm_set1_epi8(static_cast<char>(0xE0))),
                                     _mm_and_si128(_mm_srli_epi16(colour[2], 3), _mm_set1_epi8(0x1F)));
    store(i, _mm_unpacklo_epi8(low, high));
    store(i + 8, _mm_unpackhi_epi8(low, high));
  }
  return i;
}
#endif

// Served values of `count` RGB pixels.
void serve(const std::uint8_t* rgb, std::size_t count, bool palette, std::uint16_t* out) {
  std::size_t i = 0;
  if (palette) {
    for (; i < count; ++i, rgb += 3) out[i] = ScreenFeed::index332(rgb[0], rgb[1], rgb[2]);
    return;
  }
#if VANTREL_X86_AT_RUN_TIME
  if (cpu::hasSsse3()) {
    i = serve565Wide(rgb, count, [out](std::size_t at, __m128i values) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at), values);
    });
    rgb += 3 * i;
  }
#endif
  for (; i < count; ++i, rgb += 3) out[i] = ScreenFeed::rgb565(rgb[0], rgb[1], rgb[2]);
}

// The RGB565 values of `count` RGB pixels go into `shown`, and into the block's row `out` (as
// stored, little-endian) either as they are or, with `delta`, as their exclusive-or with what
// `shown` held: one pass over the pixels.
void serveRow565(const std::uint8_t* rgb, std::size_t count, std::uint16_t* shown, std::uint8_t* out, bool delta) {
  std::size_t i = 0;
#if VANTREL_X86_AT_RUN_TIME
  if (cpu::hasSsse3()) {
    const __m128i keep = delta ? _mm_set1_epi8(-1) : _mm_setzero_si128();
    i = serve565Wide(rgb, count, [&](std::size_t at, __m128i values) {
      const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(shown + at));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * at), _mm_xor_si128(values, _mm_and_si128(before, keep)));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(shown + at), values);
    });
    rgb += 3 * i;
  }
#endif
  for (; i < count; ++i, rgb += 3) {
    const std::uint16_t value = ScreenFeed::rgb565(rgb[0], rgb[1], rgb[2]);
    storeU16le(out + 2 * i, delta ? static_cast<std::uint16_t>(value ^ shown[i]) : value);
    shown[i] = value;
  }
}

// Writes the header of a width x height block into the first bytes of `h`.
void writeBitmapHeader(std::uint8_t* h, int width, int height, bool palette,
                       std::span<const std::uint8_t, ScreenFeed::kPaletteTableSize> table) {
  const std::uint16_t bits = palette ? 8 : 16;
  std::memset(h, 0, palette ? ScreenFeed::kPaletteHeader : ScreenFeed::kTrueColourHeader);
  storeU32le(h, 40);
  storeU32le(h + 4, static_cast<std::uint32_t>(width));
  storeU32le(h + 8, static_cast<std::uint32_t>(height));  // positive: rows bottom-up
  storeU16le(h + 12, 1);
  storeU16le(h + 14, bits);
  storeU32le(h + 20, static_cast<std::uint32_t>(width) * static_cast<std::uint32_t>(height) * (bits / 8u));
  if (palette) {
    storeU32le(h + 32, 256);  // biClrUsed
    std::copy(table.begin(), table.end(), h + 40);
  } else {
    storeU32le(h + 16, kBitFields);
    storeU32le(h + 40, 0xF800);
    storeU32le(h + 44, 0x07E0);
    storeU32le(h + 48, 0x001F);
  }
}

}  // namespace

ScreenFeed::ScreenFeed(int width, int height)
    : width_(width),
      height_(height),
      tileColumns_((width + kTile - 1) / kTile),
      tileRows_((height + kTile - 1) / kTile),
      palette_(paletteTable()) {
  const auto count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  shown_.assign(count, 0);
  row_.assign(static_cast<std::size_t>(width), 0);
  const std::size_t tiles = static_cast<std::size_t>(tileColumns_) * static_cast<std::size_t>(tileRows_);
  changedTiles_.assign(tiles, 0);
  deferred_.assign(tiles, 0);
  group_.assign(tiles, 0);
  reach_.assign(tiles, 0);
  // The largest update in either format: plain, and coded as a single-pixel fill per pixel.
  update_.plain.assign(kPaletteHeader + count * 2, 0);
  update_.payload.assign(kPaletteHeader + count * 3, 0);
}

std::optional<ScreenFeed> ScreenFeed::create(int width, int height) {
  if (width <= 0 || height <= 0 || width % 4 != 0 || width > 0xFFFF || height > 0xFFFF) return std::nullopt;
  try {
    return ScreenFeed(width, height);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

void ScreenFeed::setViewerDepth(std::uint32_t bitsPerPixel) {
  bitsPerPixel_ = bitsPerPixel <= 8 ? 8 : 16;
  formatSent_ = false;
  wholeSent_ = false;
}

std::size_t ScreenFeed::tileIndex(int tileX, int tileY) const {
  return static_cast<std::size_t>(tileY) * static_cast<std::size_t>(tileColumns_) + static_cast<std::size_t>(tileX);
}

std::array<std::uint8_t, ScreenFeed::kPaletteTableSize> ScreenFeed::paletteTable() {
  std::array<std::uint8_t, kPaletteTableSize> table{};
  for (unsigned i = 0; i < 256; ++i) {
    // Spread each field over the full 0-255 range so that white is white.
    const unsigned r = (i >> 5) & 7, g = (i >> 2) & 7, b = i & 3;
    table[i * 4 + 0] = static_cast<std::uint8_t>(b * 255 / 3);
    table[i * 4 + 1] = static_cast<std::uint8_t>(g * 255 / 7);
    table[i * 4 + 2] = static_cast<std::uint8_t>(r * 255 / 7);
  }
  return table;
}

const ConsoleMessage& ScreenFeed::formatMessage() {
  format_ = ConsoleMessage{};
  format_.setType(ConsoleMessage::kScreenFormat);
  format_.setU16At(2, static_cast<std::uint16_t>(width_));
  format_.setU16At(4, static_cast<std::uint16_t>(height_));
  format_.setU16At(6, static_cast<std::uint16_t>(paletteMode() ? palette_.size() : 0));
  format_.payload = paletteMode() ? palette_.data() : nullptr;
  formatSent_ = true;
  wholeSent_ = false;
  return format_;
}

const ConsoleMessage* ScreenFeed::updateFor(std::span<const std::uint8_t> rgb, std::span<const Rect> changed,
                                            bool apartFirst) {
  if (rgb.size() != shown_.size() * 3) return nullptr;
  Rect area = screen();
  const bool whole = !wholeSent_;
  const bool wasSplit = std::exchange(anyDeferred_, false);
  if (whole) {
    // The viewer clears the area of the first update after a ScreenFormat, so plain pixels
    // serve both formats here.
    std::fill(shown_.begin(), shown_.end(), std::uint16_t{0});
    std::fill(deferred_.begin(), deferred_.end(), std::uint8_t{0});
  } else {
    // The tiles that the changed areas touch and those held back last time, each looked at
    // once, and of those the ones that did change.
    std::fill(changedTiles_.begin(), changedTiles_.end(), std::uint8_t{kNotLooked});
    const auto look = [&](int tx, int ty) {
      std::uint8_t& state = changedTiles_[tileIndex(tx, ty)];
      if (state == kNotLooked) state = tileChanged(rgb, tx, ty) ? kChanged : kSame;
    };
    for (const Rect& c : changed) {
      const int left = std::clamp(c.x, 0, width_), right = std::clamp(c.x + std::max(c.width, 0), 0, width_);
      const int top = std::clamp(c.y, 0, height_), bottom = std::clamp(c.y + std::max(c.height, 0), 0, height_);
      for (int ty = top / kTile; ty * kTile < bottom; ++ty) {
        for (int tx = left / kTile; tx * kTile < right; ++tx) look(tx, ty);
      }
    }
    if (wasSplit) {
      for (int ty = 0; ty < tileRows_; ++ty) {
        for (int tx = 0; tx < tileColumns_; ++tx) {
          if (std::exchange(deferred_[tileIndex(tx, ty)], std::uint8_t{0}) != 0) look(tx, ty);
        }
      }
    }
    // Held back once, an area goes out with the next update whatever else changes.
    if (apartFirst && !wasSplit) deferLargestApart();
    const auto changedArea = changedTilesBounds();
    if (!changedArea) return nullptr;
    area = *changedArea;
  }
  writeBlock(rgb, area, whole);
  wholeSent_ = true;
  return finish(ConsoleMessage::kScreenUpdate, area, update_);
}

std::optional<ScreenFeed::Rect> ScreenFeed::changedTilesBounds() const {
  int firstColumn = tileColumns_, lastColumn = -1, firstRow = tileRows_, lastRow = -1;
  for (int ty = 0; ty < tileRows_; ++ty) {
    for (int tx = 0; tx < tileColumns_; ++tx) {
      if (changedTiles_[tileIndex(tx, ty)] != kChanged) continue;
      firstColumn = std::min(firstColumn, tx);
      lastColumn = std::max(lastColumn, tx);
      firstRow = std::min(firstRow, ty);
      lastRow = std::max(lastRow, ty);
    }
  }
  if (lastColumn < 0) return std::nullopt;
  return Rect{firstColumn * kTile, firstRow * kTile, std::min((lastColumn + 1) * kTile, width_) - firstColumn * kTile,
              std::min((lastRow + 1) * kTile, height_) - firstRow * kTile};
}

// The changed tiles fall into groups that touch (at a side or a corner). When the largest is
// many times all the others together, it is held back: it stays as it was for the viewer and is
// looked at again with the next update.
void ScreenFeed::deferLargestApart() {
  constexpr std::size_t kManyTimes = 8;
  std::fill(group_.begin(), group_.end(), 0);
  int groups = 0, largest = 0;
  std::size_t largestSize = 0, total = 0;
  for (int start = 0; start < tileColumns_ * tileRows_; ++start) {
    const auto at = static_cast<std::size_t>(start);
    if (changedTiles_[at] != kChanged || group_[at] != 0) continue;
    // A group: every changed tile reached from this one.
    ++groups;
    std::size_t size = 0, top = 0;
    reach_[top++] = start;
    group_[at] = groups;
    while (top > 0) {
      const int tile = reach_[--top];
      ++size;
      const int tx = tile % tileColumns_, ty = tile / tileColumns_;
      for (int ny = std::max(ty - 1, 0); ny <= std::min(ty + 1, tileRows_ - 1); ++ny) {
        for (int nx = std::max(tx - 1, 0); nx <= std::min(tx + 1, tileColumns_ - 1); ++nx) {
          const std::size_t next = tileIndex(nx, ny);
          if (changedTiles_[next] != kChanged || group_[next] != 0) continue;
          group_[next] = groups;
          reach_[top++] = static_cast<int>(next);
        }
      }
    }
    total += size;
    if (size > largestSize) {
      largestSize = size;
      largest = groups;
    }
  }
  if (groups < 2 || largestSize < kManyTimes * (total - largestSize)) return;
  for (std::size_t i = 0; i < group_.size(); ++i) {
    if (group_[i] != largest) continue;
    changedTiles_[i] = kSame;
    deferred_[i] = 1;
  }
  anyDeferred_ = true;
}

const ConsoleMessage* ScreenFeed::overlayFor(const Rect& area, std::span<const std::uint8_t> rgb) {
  const std::size_t count = static_cast<std::size_t>(std::max(area.width, 0)) * static_cast<std::size_t>(std::max(area.height, 0));
  if (!wholeSent_ || area.x < 0 || area.y < 0 || area.empty() || area.width % 4 != 0 || area.x + area.width > width_ ||
      area.y + area.height > height_ || rgb.size() != count * 3) {
    return nullptr;
  }
  const bool palette = paletteMode();
  if (overlay_.plain.size() < kPaletteHeader + count * 2) {
    overlay_.plain.assign(kPaletteHeader + count * 2, 0);
    overlay_.payload.assign(kPaletteHeader + count * 3, 0);
  }
  writeBitmapHeader(overlay_.plain.data(), area.width, area.height, palette, palette_);
  std::uint8_t* out = overlay_.plain.data() + (palette ? kPaletteHeader : kTrueColourHeader);
  const auto columns = static_cast<std::size_t>(area.width);
  std::uint16_t* const values = row_.data();
  for (int row = area.height - 1; row >= 0; --row) {
    serve(&rgb[static_cast<std::size_t>(row) * columns * 3], columns, palette, values);
    const std::uint16_t* shown = shown_.data() + static_cast<std::size_t>(area.y + row) * static_cast<std::size_t>(width_) +
                                 static_cast<std::size_t>(area.x);
    for (std::size_t i = 0; i < columns; ++i) {
      if (palette) {
        *out++ = static_cast<std::uint8_t>(values[i]);
      } else {
        storeU16le(out, static_cast<std::uint16_t>(values[i] ^ shown[i]));
        out += 2;
      }
    }
  }
  return finish(ConsoleMessage::kOverlayUpdate, area, overlay_);
}

const ConsoleMessage* ScreenFeed::finish(std::uint8_t type, const Rect& area, Outgoing& out) {
  const std::uint32_t headerLength = paletteMode() ? kPaletteHeader : kTrueColourHeader;
  const std::size_t plainLength = headerLength + static_cast<std::size_t>(area.width) *
                                                     static_cast<std::size_t>(area.height) * (paletteMode() ? 1 : 2);
  const std::int32_t length = codec_.encode(std::span(out.plain).first(plainLength), out.payload, headerLength);
  out.message = ConsoleMessage{};
  out.message.setType(type);
  out.message.setU16At(2, static_cast<std::uint16_t>(area.x));
  out.message.setU16At(4, static_cast<std::uint16_t>(area.y));
  out.message.setU16At(6, static_cast<std::uint16_t>(area.width));
  out.message.setU16At(8, static_cast<std::uint16_t>(area.height));
  out.message.setU16At(10, 0);  // the block carries its own colour table
  out.message.setU32At(12, length > 0 ? static_cast<std::uint32_t>(length) : 0);
  out.message.setU32At(16, headerLength);
  out.message.payload = out.payload.data();
  return &out.message;
}

bool ScreenFeed::tileChanged(std::span<const std::uint8_t> rgb, int tileX, int tileY) const {
  const int columns = std::min(kTile, width_ - tileX * kTile);
  const int rows = std::min(kTile, height_ - tileY * kTile);
  std::array<std::uint16_t, kTileSize> values{};
  for (int y = tileY * kTile; y < tileY * kTile + rows; ++y) {
    const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(tileX * kTile);
    serve(&rgb[at * 3], static_cast<std::size_t>(columns), paletteMode(), values.data());
    if (!std::equal(values.begin(), values.begin() + columns, shown_.begin() + static_cast<std::ptrdiff_t>(at))) return true;
  }
  return false;
}

void ScreenFeed::writeBlock(std::span<const std::uint8_t> rgb, const Rect& area, bool whole) {
  const bool palette = paletteMode();
  const bool delta = !whole && !palette;
  writeBitmapHeader(update_.plain.data(), area.width, area.height, palette, palette_);
  std::uint8_t* out = update_.plain.data() + (palette ? kPaletteHeader : kTrueColourHeader);
  const auto columns = static_cast<std::size_t>(area.width);
  const std::size_t pixelBytes = palette ? 1 : 2;
  std::uint16_t* const values = row_.data();
  for (int y = area.y + area.height - 1; y >= area.y; --y, out += pixelBytes * columns) {
    const std::size_t rowStart = static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(area.x);
    std::uint16_t* const shown = shown_.data() + rowStart;
    const std::uint8_t* const changed = changedTiles_.data() + static_cast<std::size_t>(y / kTile) * static_cast<std::size_t>(tileColumns_) +
                                        static_cast<std::size_t>(area.x / kTile);
    // Runs of changed tiles are converted and become what the viewer is shown; in between,
    // the delta is zero and the palette index what the viewer has.
    for (std::size_t from = 0; from < columns;) {
      const bool fresh = whole || changed[from / kTileSize] == kChanged;
      std::size_t to = std::min(from + kTileSize, columns);
      while (to < columns && (whole || changed[to / kTileSize] == kChanged) == fresh) to = std::min(to + kTileSize, columns);
      if (!palette) {
        if (fresh) {
          serveRow565(&rgb[(rowStart + from) * 3], to - from, shown + from, out + 2 * from, delta);
        } else {
          std::memset(out + 2 * from, 0, 2 * (to - from));
        }
      } else if (fresh) {
        serve(&rgb[(rowStart + from) * 3], to - from, palette, values + from);
        std::copy(values + from, values + to, shown + from);
      } else {
        std::copy(shown + from, shown + to, values + from);
      }
      from = to;
    }
    if (palette) {
      for (std::size_t i = 0; i < columns; ++i) out[i] = static_cast<std::uint8_t>(values[i]);
    }
  }
}

}  // namespace vantrel
