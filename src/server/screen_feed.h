#pragma once
// The screen side of a console session: turns RGB frames into the messages a viewer draws from.
// A ScreenFormat first (with a colour table for viewers of 8 bits or fewer), then one update of
// the whole screen, then updates of the changed areas only. Viewers of more than 8 bits get
// 16-bit RGB565 rectangles that hold the exclusive-or of new and old pixels (the viewer applies
// them with exclusive-or, and unchanged pixels code as long runs of zero); viewers of 8 bits or
// fewer get palette indices (3-3-2) that replace what they had. Every rectangle is compressed
// with ScreenCodec and is as wide as its rows need no padding: even for 16 bits, a multiple of
// 4 for 8 bits. Rows go bottom-up, as in any DIB with a positive height.
//
// Every buffer is allocated by create, for the largest update the screen can need: a frame
// allocates nothing. The feed keeps one copy of the screen, what the viewer was last shown, and
// converts and compares only the tiles of the screen that the frame's source says may have
// changed.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "protocol/console_message.h"
#include "screen/screen_codec.h"

namespace vantrel {

class ScreenFeed {
 public:
  static constexpr std::size_t kTileSize = 32;  // a multiple of 4, so tiles keep rows unpadded
  static constexpr std::uint32_t kTrueColourHeader = 52;
  static constexpr std::uint32_t kPaletteHeader = 1064;
  static constexpr std::size_t kPaletteTableSize = 1024;

  struct Rect {
    int x, y, width, height;
    bool empty() const { return width <= 0 || height <= 0; }
    bool operator==(const Rect&) const = default;
  };

  // Widths must be multiples of 4 (every supported screen size is); otherwise, or when the
  // buffers cannot be had, nothing.
  static std::optional<ScreenFeed> create(int width, int height);

  int width() const { return width_; }
  int height() const { return height_; }
  Rect screen() const { return {0, 0, width_, height_}; }

  // Chooses the pixel format for the viewer's announced depth and forgets what it was shown,
  // so that the next frame goes out whole, after a new ScreenFormat.
  void setViewerDepth(std::uint32_t bitsPerPixel);
  bool paletteMode() const { return bitsPerPixel_ == 8; }
  bool needsFormat() const { return !formatSent_; }

  // The ScreenFormat for the current depth; after it the next frame is sent whole. The
  // record's payload points into the feed.
  const ConsoleMessage& formatMessage();

  // The update that brings the viewer from what it was last shown to `rgb` (width * height * 3
  // bytes, top-down rows of red, green, blue): the whole screen after a ScreenFormat, else one
  // rectangle of whole tiles that covers every change. `changed` is where `rgb` may differ from
  // the frame before it (the whole screen when the source cannot tell); only the tiles these
  // areas touch are looked at. Null when nothing changed or the frame has the wrong size. The
  // record's payload points into the feed and stays valid until the next call.
  //
  // One rectangle, not one per changed area: with exclusive-or deltas an unchanged pixel inside
  // it codes as part of a run of zeros (a byte for 63 pixels in every row but the first), so
  // covering the whole of a 1024 x 768 screen costs about 12 KB, 10 ms on a 10 Mbit/s line,
  // while each further update costs the link's round trip and the 10 ms pause before its
  // payload. A frame also reaches the viewer whole, never half drawn.
  //
  // With `apartFirst`, for a link where a large update takes more than twice as long as a small
  // one: when the changes fall into areas apart from each other and the largest is many times
  // the others together (a video and a keystroke's echo), the others go first, alone, and the
  // largest comes with the next update; it is never held back twice running (hasHeldBack).
  const ConsoleMessage* updateFor(std::span<const std::uint8_t> rgb, std::span<const Rect> changed,
                                  bool apartFirst = false);
  const ConsoleMessage* updateFor(std::span<const std::uint8_t> rgb, const Rect& changed) {
    return updateFor(rgb, std::span(&changed, 1));
  }
  // Whether the last update held an area back for the next.
  bool hasHeldBack() const { return anyDeferred_; }

  // An OverlayUpdate that shows `rgb` (area.width * area.height * 3 bytes, top-down) over the
  // area of the last frame: the viewer draws overlays straight onto its window in the mode of
  // its last update, so for true colour the block holds the exclusive-or with what it shows.
  // Widths as for updates; null before the first whole frame or for an area off the screen.
  // Its buffers are apart from the update's (both may wait to be sent) and grow to the largest
  // overlay asked for. The record's payload stays valid until the next call.
  const ConsoleMessage* overlayFor(const Rect& area, std::span<const std::uint8_t> rgb);

  // Served pixel values of an RGB colour in either format.
  static std::uint16_t rgb565(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return static_cast<std::uint16_t>(((r & 0xF8) << 8) | ((g & 0xFC) << 3) | (b >> 3));
  }
  static std::uint8_t index332(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return static_cast<std::uint8_t>((r & 0xE0) | ((g & 0xE0) >> 3) | (b >> 6));
  }
  // The 256-entry colour table (blue, green, red, 0) of the 3-3-2 palette.
  static std::array<std::uint8_t, kPaletteTableSize> paletteTable();

 private:
  ScreenFeed(int width, int height);
  // The buffers and record of one kind of message.
  struct Outgoing {
    std::vector<std::uint8_t> plain;    // the rectangle before compression
    std::vector<std::uint8_t> payload;  // and as sent
    ConsoleMessage message;
  };
  std::size_t tileIndex(int tileX, int tileY) const;
  bool tileChanged(std::span<const std::uint8_t> rgb, int tileX, int tileY) const;
  std::optional<Rect> changedTilesBounds() const;
  void deferLargestApart();
  void writeBlock(std::span<const std::uint8_t> rgb, const Rect& area, bool whole);
  // Compresses `out.plain` (the area's block) and fills in the record.
  const ConsoleMessage* finish(std::uint8_t type, const Rect& area, Outgoing& out);

  int width_;
  int height_;
  int tileColumns_;
  int tileRows_;
  std::uint32_t bitsPerPixel_ = 16;
  bool formatSent_ = false;
  bool wholeSent_ = false;
  std::vector<std::uint16_t> shown_;       // what the viewer holds, in served pixel values
  enum TileState : std::uint8_t { kNotLooked, kChanged, kSame };
  std::vector<std::uint8_t> changedTiles_;  // TileState of the frame at hand, row by row
  std::vector<std::uint8_t> deferred_;      // changed tiles held back for the next update
  bool anyDeferred_ = false;
  std::vector<int> group_;                  // deferLargestApart's group of each tile
  std::vector<int> reach_;                  // and the tiles it has yet to go on from
  std::vector<std::uint16_t> row_;          // one row of the update being written
  Outgoing update_;                          // for the largest update there can be
  Outgoing overlay_;                         // for the largest overlay so far
  std::array<std::uint8_t, kPaletteTableSize> palette_;
  ConsoleMessage format_;
  ScreenCodec codec_;
};

}  // namespace vantrel
