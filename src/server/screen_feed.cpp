#include "server/screen_feed.h"

#include <algorithm>

#include "protocol/byte_io.h"

namespace vantrel {
namespace {

constexpr std::uint32_t kBitFields = 3;  // biCompression: the three masks follow the header

// Writes the header into the first bytes of `h`, which are zero.
void writeBitmapHeader(std::span<std::uint8_t> h, int width, int height, std::uint16_t bits) {
  const auto pixelBytes = static_cast<std::uint32_t>(bits / 8);
  storeU32le(&h[0], 40);
  storeU32le(&h[4], static_cast<std::uint32_t>(width));
  storeU32le(&h[8], static_cast<std::uint32_t>(height));  // positive: rows bottom-up
  storeU16le(&h[12], 1);
  storeU16le(&h[14], bits);
  storeU32le(&h[20], static_cast<std::uint32_t>(width) * static_cast<std::uint32_t>(height) * pixelBytes);
  if (bits == 16) {
    storeU32le(&h[16], kBitFields);
    storeU32le(&h[40], 0xF800);
    storeU32le(&h[44], 0x07E0);
    storeU32le(&h[48], 0x001F);
  } else {
    storeU32le(&h[32], 256);  // biClrUsed
    const auto table = ScreenFeed::paletteTable();
    std::copy(table.begin(), table.end(), h.begin() + 40);
  }
}

}  // namespace

std::optional<ScreenFeed> ScreenFeed::create(int width, int height) {
  if (width <= 0 || height <= 0 || width % 4 != 0 || width > 0xFFFF || height > 0xFFFF) return std::nullopt;
  return ScreenFeed(width, height);
}

void ScreenFeed::setViewerDepth(std::uint32_t bitsPerPixel) {
  bitsPerPixel_ = bitsPerPixel <= 8 ? 8 : 16;
  formatSent_ = false;
  wholeSent_ = false;
}

std::uint16_t ScreenFeed::rgb565(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return static_cast<std::uint16_t>(((r & 0xF8) << 8) | ((g & 0xFC) << 3) | (b >> 3));
}

std::uint8_t ScreenFeed::index332(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return static_cast<std::uint8_t>((r & 0xE0) | ((g & 0xE0) >> 3) | (b >> 6));
}

std::vector<std::uint8_t> ScreenFeed::paletteTable() {
  std::vector<std::uint8_t> table(1024, 0);
  for (unsigned i = 0; i < 256; ++i) {
    // Spread each field over the full 0-255 range so that white is white.
    const unsigned r = (i >> 5) & 7, g = (i >> 2) & 7, b = i & 3;
    table[i * 4 + 0] = static_cast<std::uint8_t>(b * 255 / 3);
    table[i * 4 + 1] = static_cast<std::uint8_t>(g * 255 / 7);
    table[i * 4 + 2] = static_cast<std::uint8_t>(r * 255 / 7);
  }
  return table;
}

OutgoingMessage ScreenFeed::formatMessage() {
  OutgoingMessage m;
  m.record.setType(ConsoleMessage::kScreenFormat);
  m.record.setU16At(2, static_cast<std::uint16_t>(width_));
  m.record.setU16At(4, static_cast<std::uint16_t>(height_));
  if (paletteMode()) m.payload = paletteTable();
  m.record.setU16At(6, static_cast<std::uint16_t>(m.payload.size()));
  formatSent_ = true;
  wholeSent_ = false;
  return m;
}

std::vector<std::uint16_t> ScreenFeed::convert(std::span<const std::uint8_t> rgb) const {
  std::vector<std::uint16_t> out(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_));
  for (std::size_t i = 0; i < out.size(); ++i) {
    const std::uint8_t* p = &rgb[i * 3];
    out[i] = paletteMode() ? index332(p[0], p[1], p[2]) : rgb565(p[0], p[1], p[2]);
  }
  return out;
}

std::vector<OutgoingMessage> ScreenFeed::updatesFor(std::span<const std::uint8_t> rgb) {
  std::vector<OutgoingMessage> out;
  if (rgb.size() != static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 3) return out;
  std::vector<std::uint16_t> pixels = convert(rgb);
  if (!wholeSent_) {
    // The viewer clears the area of the first update after a ScreenFormat, so plain pixels
    // serve both formats here.
    shown_.assign(pixels.size(), 0);
    out.push_back(update({0, 0, width_, height_}, pixels, false));
    wholeSent_ = true;
  } else {
    if (const auto area = changedArea(shown_, pixels)) out.push_back(update(*area, pixels, !paletteMode()));
  }
  shown_ = std::move(pixels);
  return out;
}

std::optional<ScreenFeed::Rect> ScreenFeed::changedArea(std::span<const std::uint16_t> before,
                                                       std::span<const std::uint16_t> after) const {
  const int tile = static_cast<int>(kTileSize);
  int left = width_, top = height_, right = 0, bottom = 0;
  for (int ty = 0; ty < height_; ty += tile) {
    const int rows = std::min(tile, height_ - ty);
    for (int tx = 0; tx < width_; tx += tile) {
      const int cols = std::min(tile, width_ - tx);
      bool changed = false;
      for (int y = ty; y < ty + rows && !changed; ++y) {
        const auto from = static_cast<std::ptrdiff_t>(static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                                                      static_cast<std::size_t>(tx));
        changed = !std::equal(before.begin() + from, before.begin() + from + cols, after.begin() + from);
      }
      if (!changed) continue;
      left = std::min(left, tx);
      top = std::min(top, ty);
      right = std::max(right, tx + cols);
      bottom = std::max(bottom, ty + rows);
    }
  }
  if (right == 0) return std::nullopt;
  return Rect{left, top, right - left, bottom - top};
}

OutgoingMessage ScreenFeed::update(const Rect& area, std::span<const std::uint16_t> pixels, bool delta) {
  std::vector<std::uint16_t> values;
  values.reserve(static_cast<std::size_t>(area.width) * static_cast<std::size_t>(area.height));
  for (int row = 0; row < area.height; ++row) {
    const std::size_t start = static_cast<std::size_t>(area.y + row) * static_cast<std::size_t>(width_) +
                              static_cast<std::size_t>(area.x);
    for (std::size_t i = start; i < start + static_cast<std::size_t>(area.width); ++i) {
      values.push_back(delta ? static_cast<std::uint16_t>(pixels[i] ^ shown_[i]) : pixels[i]);
    }
  }
  return encode(ConsoleMessage::kScreenUpdate, area, values);
}

std::optional<OutgoingMessage> ScreenFeed::overlayFor(const Rect& area, std::span<const std::uint8_t> rgb) {
  const std::size_t count = static_cast<std::size_t>(area.width) * static_cast<std::size_t>(area.height);
  if (!wholeSent_ || area.x < 0 || area.y < 0 || area.width <= 0 || area.height <= 0 || area.width % 4 != 0 ||
      area.x + area.width > width_ || area.y + area.height > height_ || rgb.size() != count * 3) {
    return std::nullopt;
  }
  std::vector<std::uint16_t> values(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* p = &rgb[i * 3];
    values[i] = paletteMode() ? index332(p[0], p[1], p[2]) : rgb565(p[0], p[1], p[2]);
    if (!paletteMode()) {
      const std::size_t at = static_cast<std::size_t>(area.y) * static_cast<std::size_t>(width_) +
                             static_cast<std::size_t>(area.x) + (i / static_cast<std::size_t>(area.width)) * static_cast<std::size_t>(width_) +
                             i % static_cast<std::size_t>(area.width);
      values[i] = static_cast<std::uint16_t>(values[i] ^ shown_[at]);
    }
  }
  return encode(ConsoleMessage::kOverlayUpdate, area, values);
}

OutgoingMessage ScreenFeed::encode(std::uint8_t type, const Rect& area, std::span<const std::uint16_t> values) {
  const std::uint16_t bits = paletteMode() ? 8 : 16;
  const std::uint32_t headerLength = paletteMode() ? kPaletteHeader : kTrueColourHeader;
  const std::size_t pixelBytes = bits / 8;
  const std::size_t count = static_cast<std::size_t>(area.width) * static_cast<std::size_t>(area.height);
  std::vector<std::uint8_t> plain(headerLength + count * pixelBytes, 0);
  writeBitmapHeader(plain, area.width, area.height, bits);

  std::uint8_t* at = plain.data() + headerLength;
  for (int row = area.height - 1; row >= 0; --row) {
    const std::size_t start = static_cast<std::size_t>(row) * static_cast<std::size_t>(area.width);
    for (std::size_t i = start; i < start + static_cast<std::size_t>(area.width); ++i) {
      if (pixelBytes == 2) {
        storeU16le(at, values[i]);
      } else {
        *at = static_cast<std::uint8_t>(values[i]);
      }
      at += pixelBytes;
    }
  }

  OutgoingMessage m;
  // Room for the worst case, a single-pixel fill run per pixel.
  m.payload.assign(headerLength + count * (1 + pixelBytes), 0);
  const std::int32_t length = codec_.encode(plain, m.payload, headerLength);
  const std::size_t kept = length > 0 ? std::min(static_cast<std::size_t>(length), m.payload.size()) : 0;
  m.payload.erase(m.payload.begin() + static_cast<std::ptrdiff_t>(kept), m.payload.end());
  m.record.setType(type);
  m.record.setU16At(2, static_cast<std::uint16_t>(area.x));
  m.record.setU16At(4, static_cast<std::uint16_t>(area.y));
  m.record.setU16At(6, static_cast<std::uint16_t>(area.width));
  m.record.setU16At(8, static_cast<std::uint16_t>(area.height));
  m.record.setU16At(10, 0);  // the block carries its own colour table
  m.record.setU32At(12, static_cast<std::uint32_t>(m.payload.size()));
  m.record.setU32At(16, headerLength);
  return m;
}

}  // namespace vantrel
