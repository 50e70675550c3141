#pragma once
// The screen side of a console session: turns RGB frames into the messages a viewer draws from.
// A ScreenFormat first (with a colour table for viewers of 8 bits or fewer), then one update of
// the whole screen, then updates of the changed areas only. Viewers of more than 8 bits get
// 16-bit RGB565 rectangles that hold the exclusive-or of new and old pixels (the viewer applies
// them with exclusive-or, and unchanged pixels code as long runs of zero); viewers of 8 bits or
// fewer get palette indices (3-3-2) that replace what they had. Every rectangle is compressed
// with ScreenCodec and is as wide as its rows need no padding: even for 16 bits, a multiple of
// 4 for 8 bits. Rows go bottom-up, as in any DIB with a positive height.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "protocol/console_message.h"
#include "screen/screen_codec.h"

namespace vantrel {

// A record with its payload; point record.payload at payload before sending.
struct OutgoingMessage {
  ConsoleMessage record;
  std::vector<std::uint8_t> payload;
};

class ScreenFeed {
 public:
  static constexpr std::size_t kTileSize = 32;  // a multiple of 4, so tiles keep rows unpadded
  static constexpr std::uint32_t kTrueColourHeader = 52;
  static constexpr std::uint32_t kPaletteHeader = 1064;

  // Widths must be multiples of 4 (every supported screen size is); otherwise nothing.
  static std::optional<ScreenFeed> create(int width, int height);

  int width() const { return width_; }
  int height() const { return height_; }

  // Chooses the pixel format for the viewer's announced depth and forgets what it was shown,
  // so that the next frame goes out whole, after a new ScreenFormat.
  void setViewerDepth(std::uint32_t bitsPerPixel);
  bool paletteMode() const { return bitsPerPixel_ == 8; }
  bool needsFormat() const { return !formatSent_; }

  // The ScreenFormat for the current depth; after it the next frame is sent whole.
  OutgoingMessage formatMessage();
  // Updates that bring the viewer from what it was last shown to `rgb` (width * height * 3
  // bytes, top-down rows of red, green, blue): the whole screen after a ScreenFormat, else one
  // covering every changed tile, none when nothing changed. Wrongly sized frames give none.
  std::vector<OutgoingMessage> updatesFor(std::span<const std::uint8_t> rgb);

  // Served pixel values of an RGB colour in either format.
  static std::uint16_t rgb565(std::uint8_t r, std::uint8_t g, std::uint8_t b);
  static std::uint8_t index332(std::uint8_t r, std::uint8_t g, std::uint8_t b);
  // The 256-entry colour table (blue, green, red, 0) of the 3-3-2 palette.
  static std::vector<std::uint8_t> paletteTable();

  struct Rect {
    int x, y, width, height;
    bool operator==(const Rect&) const = default;
  };
  // The smallest run of whole tiles that covers every change between two pixel arrays of this
  // screen. One rectangle a frame: a viewer (or a snapshot of it) never holds half a frame, and
  // the unchanged pixels inside it cost little, as runs of zero or copies from the row above.
  std::optional<Rect> changedArea(std::span<const std::uint16_t> before, std::span<const std::uint16_t> after) const;

  // An OverlayUpdate that shows `rgb` (area.width * area.height * 3 bytes, top-down) over the
  // area of the last frame: the viewer draws overlays straight onto its window in the mode of
  // its last update, so for true colour the block holds the exclusive-or with what it shows.
  // Widths as for updates; nothing before the first whole frame or for an area off the screen.
  std::optional<OutgoingMessage> overlayFor(const Rect& area, std::span<const std::uint8_t> rgb);

 private:
  ScreenFeed(int width, int height) : width_(width), height_(height) {}
  std::vector<std::uint16_t> convert(std::span<const std::uint8_t> rgb) const;
  OutgoingMessage update(const Rect& area, std::span<const std::uint16_t> pixels, bool delta);
  // One compressed rectangle of `type` from the area's served values, top-down.
  OutgoingMessage encode(std::uint8_t type, const Rect& area, std::span<const std::uint16_t> values);

  int width_;
  int height_;
  std::uint32_t bitsPerPixel_ = 16;
  bool formatSent_ = false;
  bool wholeSent_ = false;
  std::vector<std::uint16_t> shown_;  // what the viewer holds, in served pixel values
  ScreenCodec codec_;
};

}  // namespace vantrel
