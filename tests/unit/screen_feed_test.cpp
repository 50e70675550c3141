#include "server/screen_feed.h"

#include <gtest/gtest.h>

#include "protocol/byte_io.h"

namespace vantrel {
namespace {

constexpr int kWidth = 256;
constexpr int kHeight = 192;

std::vector<std::uint8_t> frame(std::uint8_t seed) {
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(kWidth * kHeight * 3));
  for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<std::uint8_t>((i / 3 % kWidth) * 2 + seed);
  return rgb;
}

void paint(std::vector<std::uint8_t>& rgb, int x0, int y0, int w, int h, std::uint8_t value) {
  for (int y = y0; y < y0 + h; ++y) {
    for (int x = x0; x < x0 + w; ++x) {
      for (int c = 0; c < 3; ++c) rgb[static_cast<std::size_t>((y * kWidth + x) * 3 + c)] = value;
    }
  }
}

// A viewer's surface in served pixel values, applying updates as the viewer does: palette
// rectangles replace, true-colour rectangles exclusive-or (after a clear for the first).
struct ViewerSurface {
  std::vector<std::uint16_t> pixels = std::vector<std::uint16_t>(kWidth * kHeight, 0);

  void apply(const ConsoleMessage* m) {
    ASSERT_NE(m, nullptr);
    // An overlay goes onto the window in the mode of the last update, as an update does.
    ASSERT_TRUE(m->type() == ConsoleMessage::kScreenUpdate || m->type() == ConsoleMessage::kOverlayUpdate);
    const int x = m->u16At(2), y = m->u16At(4), w = m->u16At(6), h = m->u16At(8);
    const std::uint32_t headerLength = m->u32At(16);
    const std::span<const std::uint8_t> payload(m->payload, m->u32At(12));
    const std::uint16_t bits = loadU16le(&payload[14]);
    ASSERT_EQ(static_cast<int>(loadU32le(&payload[4])), w);
    ASSERT_EQ(static_cast<int>(loadU32le(&payload[8])), h);
    ASSERT_EQ((w * bits / 8) % 4, 0) << "rows would need padding";
    const std::size_t pixelBytes = bits / 8;
    std::vector<std::uint8_t> plain(headerLength + static_cast<std::size_t>(w * h) * pixelBytes);
    ScreenCodec codec;
    ASSERT_EQ(codec.decode(payload, plain, headerLength), static_cast<std::int32_t>(plain.size()));
    for (int row = 0; row < h; ++row) {
      const std::uint8_t* src = plain.data() + headerLength + static_cast<std::size_t>((h - 1 - row) * w) * pixelBytes;
      for (int col = 0; col < w; ++col) {
        auto& dst = pixels[static_cast<std::size_t>((y + row) * kWidth + x + col)];
        if (bits == 8) {
          dst = src[col];
        } else {
          dst ^= loadU16le(src + col * 2);
        }
      }
    }
  }

  std::vector<std::uint16_t> expected(const std::vector<std::uint8_t>& rgb, bool palette) const {
    std::vector<std::uint16_t> out(pixels.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
      const auto* p = &rgb[i * 3];
      out[i] = palette ? ScreenFeed::index332(p[0], p[1], p[2]) : ScreenFeed::rgb565(p[0], p[1], p[2]);
    }
    return out;
  }
};

constexpr ScreenFeed::Rect kWhole{0, 0, kWidth, kHeight};

TEST(ScreenFeed, ViewerFollowsTheFramesInBothFormats) {
  for (const std::uint32_t depth : {32u, 16u, 8u, 4u}) {
    const bool palette = depth <= 8;
    auto feed = ScreenFeed::create(kWidth, kHeight);
    ASSERT_TRUE(feed);
    feed->setViewerDepth(depth);
    const ConsoleMessage& format = feed->formatMessage();
    EXPECT_EQ(format.type(), ConsoleMessage::kScreenFormat);
    EXPECT_EQ(format.u16At(2), kWidth);
    EXPECT_EQ(format.u16At(4), kHeight);
    EXPECT_EQ(format.u16At(6), palette ? 1024u : 0u);
    EXPECT_EQ(format.payload != nullptr, palette);

    ViewerSurface viewer;
    auto rgb = frame(1);
    const ConsoleMessage* first = feed->updateFor(rgb, {0, 0, 0, 0});
    ASSERT_NE(first, nullptr) << "the first frame goes out whole, whatever the source says";
    EXPECT_EQ(first->u16At(6), kWidth);
    EXPECT_EQ(first->u16At(8), kHeight);
    viewer.apply(first);
    EXPECT_EQ(viewer.pixels, viewer.expected(rgb, palette)) << depth;

    EXPECT_EQ(feed->updateFor(rgb, kWhole), nullptr) << "nothing changed, nothing sent";

    paint(rgb, 3, 5, 2, 2, 0xFF);       // inside the first tile
    paint(rgb, 30, 30, 20, 20, 0x10);   // across four tiles
    const ConsoleMessage* delta = feed->updateFor(rgb, kWhole);
    viewer.apply(delta);
    EXPECT_EQ(viewer.pixels, viewer.expected(rgb, palette)) << depth;
    EXPECT_LT(delta->u16At(6) * delta->u16At(8), kWidth * kHeight) << "only changed areas go out";

    // A source that reports its changes in turn: what it has not reported yet is not looked
    // at, even between two areas reported together, and comes with the report that covers it.
    paint(rgb, 100, 80, 8, 8, 0x33);
    paint(rgb, 8, 2, 8, 8, 0x55);
    paint(rgb, 60, 40, 8, 4, 0x44);
    const ScreenFeed::Rect apart[] = {{96, 64, 32, 32}, {0, 0, 16, 16}};
    viewer.apply(feed->updateFor(rgb, apart));
    EXPECT_NE(viewer.pixels, viewer.expected(rgb, palette)) << depth;
    viewer.apply(feed->updateFor(rgb, {60, 40, 8, 4}));
    EXPECT_EQ(viewer.pixels, viewer.expected(rgb, palette)) << depth;
  }
}

TEST(ScreenFeed, AnOverlayShowsItsPictureOverWhatTheViewerHolds) {
  for (const std::uint32_t depth : {32u, 8u}) {
    auto feed = ScreenFeed::create(kWidth, kHeight);
    feed->setViewerDepth(depth);
    feed->formatMessage();
    const ScreenFeed::Rect area{12, 20, 8, 4};
    std::vector<std::uint8_t> sprite(8 * 4 * 3);
    for (std::size_t i = 0; i < sprite.size(); ++i) sprite[i] = static_cast<std::uint8_t>(i * 37);
    EXPECT_EQ(feed->overlayFor(area, sprite), nullptr) << "nothing to draw over before the first frame";

    ViewerSurface window;
    auto rgb = frame(2);
    window.apply(feed->updateFor(rgb, kWhole));
    const ConsoleMessage* overlay = feed->overlayFor(area, sprite);
    ASSERT_NE(overlay, nullptr);
    EXPECT_EQ(overlay->type(), ConsoleMessage::kOverlayUpdate);
    window.apply(overlay);
    for (int y = 0; y < 4; ++y) {
      std::copy_n(&sprite[static_cast<std::size_t>(y * 8 * 3)], 24, &rgb[static_cast<std::size_t>(((20 + y) * kWidth + 12) * 3)]);
    }
    EXPECT_EQ(window.pixels, window.expected(rgb, depth <= 8)) << depth;

    for (const ScreenFeed::Rect bad : {ScreenFeed::Rect{12, 20, 6, 4}, ScreenFeed::Rect{kWidth - 4, 0, 8, 4},
                                       ScreenFeed::Rect{-4, 0, 8, 4}}) {
      EXPECT_EQ(feed->overlayFor(bad, std::vector<std::uint8_t>(static_cast<std::size_t>(bad.width * bad.height * 3))), nullptr);
    }
  }
}

TEST(ScreenFeed, NewDepthStartsOverWithAFormatAndAWholeFrame) {
  auto feed = ScreenFeed::create(kWidth, kHeight);
  feed->setViewerDepth(32);
  feed->formatMessage();
  feed->updateFor(frame(1), kWhole);
  feed->setViewerDepth(8);
  EXPECT_TRUE(feed->needsFormat());
  feed->formatMessage();
  const ConsoleMessage* update = feed->updateFor(frame(1), kWhole);
  ASSERT_NE(update, nullptr);
  EXPECT_EQ(update->u16At(6) * update->u16At(8), kWidth * kHeight);
  EXPECT_EQ(update->u32At(16), ScreenFeed::kPaletteHeader);
}

TEST(ScreenFeed, OneRectangleOfWholeTilesCoversAFramesChanges) {
  using R = ScreenFeed::Rect;
  struct Case { std::vector<std::pair<int, int>> changed; std::optional<R> expected; };
  for (const Case& c : std::vector<Case>{
           {{}, std::nullopt},
           {{{0, 0}}, R{0, 0, 32, 32}},
           {{{0, 0}, {40, 0}}, R{0, 0, 64, 32}},                // neighbours in a row
           {{{0, 0}, {0, 40}, {0, 95}}, R{0, 0, 32, 96}},        // a column, last row short
           {{{40, 40}, {100, 0}}, R{32, 0, 96, 64}},             // apart: the tiles between come too
           {{{kWidth - 1, kHeight - 1}}, R{kWidth - 32, kHeight - 32, 32, 32}},  // the last tile
       }) {
    auto feed = ScreenFeed::create(kWidth, kHeight);
    feed->formatMessage();
    auto rgb = frame(1);
    feed->updateFor(rgb, kWhole);
    for (auto [x, y] : c.changed) rgb[static_cast<std::size_t>((y * kWidth + x) * 3)] ^= 0x80;
    const ConsoleMessage* update = feed->updateFor(rgb, kWhole);
    ASSERT_EQ(update != nullptr, c.expected.has_value());
    if (update != nullptr) {
      EXPECT_EQ((R{update->u16At(2), update->u16At(4), update->u16At(6), update->u16At(8)}), *c.expected);
    }
  }
}

TEST(ScreenFeed, AnAreaApartFromAFarLargerOneGoesFirstWhenAsked) {
  using R = ScreenFeed::Rect;
  for (const bool apartFirst : {false, true}) {
    auto feed = ScreenFeed::create(kWidth, kHeight);
    feed->formatMessage();
    ViewerSurface viewer;
    auto rgb = frame(1);
    viewer.apply(feed->updateFor(rgb, kWhole));
    // Nine tiles at the top left, one at the bottom right.
    paint(rgb, 0, 0, 96, 96, 0x21);
    paint(rgb, kWidth - 8, kHeight - 8, 8, 8, 0x42);
    const ConsoleMessage* first = feed->updateFor(rgb, std::span(&kWhole, 1), apartFirst);
    const R area{first->u16At(2), first->u16At(4), first->u16At(6), first->u16At(8)};
    viewer.apply(first);
    EXPECT_EQ(area, (apartFirst ? R{kWidth - 32, kHeight - 32, 32, 32} : kWhole));
    EXPECT_EQ(feed->hasHeldBack(), apartFirst);
    if (apartFirst) {
      // The large area comes next even when something apart changes again.
      paint(rgb, kWidth - 8, kHeight - 8, 8, 8, 0x43);
      viewer.apply(feed->updateFor(rgb, std::span(&kWhole, 1), true));
      EXPECT_FALSE(feed->hasHeldBack());
    }
    EXPECT_EQ(viewer.pixels, viewer.expected(rgb, false));
  }
  // Areas of like size go together.
  auto feed = ScreenFeed::create(kWidth, kHeight);
  feed->formatMessage();
  auto rgb = frame(1);
  feed->updateFor(rgb, kWhole);
  paint(rgb, 0, 0, 64, 64, 0x21);
  paint(rgb, kWidth - 8, kHeight - 8, 8, 8, 0x42);
  const ConsoleMessage* both = feed->updateFor(rgb, std::span(&kWhole, 1), true);
  EXPECT_EQ((R{both->u16At(2), both->u16At(4), both->u16At(6), both->u16At(8)}), kWhole);
}

TEST(ScreenFeed, RefusesSizesItCannotServe) {
  EXPECT_FALSE(ScreenFeed::create(10, 10));  // rows of 10 palette pixels would need padding
  EXPECT_FALSE(ScreenFeed::create(0, 8));
  auto feed = ScreenFeed::create(kWidth, kHeight);
  feed->formatMessage();
  EXPECT_EQ(feed->updateFor(std::vector<std::uint8_t>(17), kWhole), nullptr);
}

}  // namespace
}  // namespace vantrel
