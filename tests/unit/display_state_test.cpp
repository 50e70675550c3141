#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "fuzz/display_checks.h"
#include "protocol/byte_io.h"
#include "screen/display_state.h"
#include "screen/software_surface.h"
#include "support/fuzz_seeds.h"
#include "support/recording_message_boxes.h"
#include "support/screen_messages.h"

namespace vantrel {
namespace {

using testing::Bytes;
using testing::kTrueColourHeaderLength;
using testing::screenFormat;
using testing::screenUpdate;
using testing::trueColourBlock;
using testing::WireMessage;
using Pixels = std::vector<std::uint32_t>;

WindowRef const kViewer = reinterpret_cast<WindowRef>(0x1000);
WindowRef const kOwner = reinterpret_cast<WindowRef>(0x2000);

struct Host final : DisplayHost {
  WindowRef viewerWindow() const override { return kViewer; }
  bool windowedView() const override { return windowed; }
  void surfaceResized() override { ++resized; }
  void abortSession() override { ++aborted; }
  bool windowed = true;
  int resized = 0;
  int aborted = 0;
};

// A surface that stands for a palette display: it reports 8 bits and records palettes. It can
// also report parts of the surface as not made.
struct PaletteSurface final : SurfacePort {
  SurfaceResult createSurface(std::uint32_t w, std::uint32_t h) override {
    const SurfaceResult made = inner.createSurface(w, h);
    return failing.value_or(made);
  }
  bool querySurfaceFormat(std::span<std::uint8_t> f) override {
    inner.querySurfaceFormat(f);
    storeU16le(f.data() + 14, 8);
    return true;
  }
  bool clearRect(const SurfaceRect& r) override { return inner.clearRect(r); }
  bool drawToSurface(const SurfaceRect& r, const DibImage& i, RasterOp op, ScrollOffset s) override {
    ops.push_back(op);
    return inner.drawToSurface(r, i, op, s);
  }
  bool restoreWindowArea(const SurfaceRect& r, ScrollOffset s) override { return inner.restoreWindowArea(r, s); }
  bool drawOverlay(const SurfaceRect& r, const DibImage& i, RasterOp op, ScrollOffset s) override {
    return inner.drawOverlay(r, i, op, s);
  }
  void realisePalette(std::span<const PaletteEntry> e) override { palettes.emplace_back(e.begin(), e.end()); }
  void paintWindow(WindowRef, std::uint32_t, std::uint32_t, ScrollOffset, bool) override {}
  SoftwareSurface inner;
  std::optional<SurfaceResult> failing;
  std::vector<RasterOp> ops;
  std::vector<std::vector<PaletteEntry>> palettes;
};

template <typename Surface>
class Display {
 public:
  Display() : decodeBuffer(0x50A000), display(surface, host, recorded.messages, codec, decodeBuffer) {
    recorded.messages.ownerWindow = kOwner;
    display.surfaceCreated(true);
  }

  UpdateResult apply(const WireMessage& m) {
    if (m.header.type() == ConsoleMessage::kScreenFormat) {
      display.handleScreenFormat(m.header, m.payload);
      return UpdateResult::Drawn;
    }
    return m.header.type() == ConsoleMessage::kScreenUpdate ? display.handleScreenUpdate(m.header, m.payload)
                                                            : display.handleOverlayUpdate(m.header, m.payload);
  }

  Surface surface;
  Host host;
  testing::RecordedMessages recorded;
  ScreenCodec codec;
  std::vector<std::uint8_t> decodeBuffer;
  DisplayState display;
};

WireMessage trueColourUpdate(std::uint16_t x, std::uint16_t y, std::uint16_t w, std::uint16_t h, std::uint32_t colour,
                             std::uint8_t type = ConsoleMessage::kScreenUpdate) {
  return screenUpdate(type, x, y, w, h, 0, trueColourBlock(w, h, Pixels(std::size_t{w} * h, colour)),
                      kTrueColourHeaderLength);
}

// An 8-bit block whose pixels are all index 1, with its own two-colour table.
WireMessage paletteUpdate(std::uint16_t w, std::uint16_t h, std::uint16_t flag, std::uint32_t ownColour) {
  Bytes table = {0, 0, 0, 0, static_cast<std::uint8_t>(ownColour), static_cast<std::uint8_t>(ownColour >> 8),
                 static_cast<std::uint8_t>(ownColour >> 16), 0};
  const Bytes info = testing::bitmapInfo(w, -h, 8, 0, 2, table);
  return screenUpdate(ConsoleMessage::kScreenUpdate, 0, 0, w, h, flag,
                      testing::compressedBlock(info, Bytes(std::size_t{w} * h, 1)), 48);
}

Bytes colourTableWith(std::uint32_t entry1) {
  Bytes table(1024, 0);
  storeU32le(table.data() + 4, entry1);
  return table;
}

TEST(DisplayState, FirstFormatBuildsTheSurfaceAndAFullFrameEnablesPainting) {
  Display<SoftwareSurface> d;
  EXPECT_EQ(d.surface.width(), 10u);
  EXPECT_FALSE(d.display.paintWindow(kViewer));

  d.apply(screenFormat(640, 480, colourTableWith(0x00FF00)));
  EXPECT_EQ(d.surface.width(), 640u);
  EXPECT_EQ(d.host.resized, 1);
  EXPECT_TRUE(d.display.clearFirst());

  // However many smaller updates arrive, nothing is painted until one covers the screen.
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(d.apply(trueColourUpdate(0, 0, 639, 480, 0x111111)), UpdateResult::Drawn);
    EXPECT_FALSE(d.display.paintWindow(kViewer));
  }
  ASSERT_EQ(d.apply(trueColourUpdate(0, 0, 640, 480, 0x222222)), UpdateResult::Drawn);
  EXPECT_TRUE(d.display.fullFrameSeen());
  EXPECT_TRUE(d.display.paintWindow(kViewer));
  // The first update after the format was cleared first, so the later ones are deltas over it.
  EXPECT_EQ(d.surface.pixel(0, 0), 0x111111u ^ 0x111111u ^ 0x111111u ^ 0x111111u ^ 0x111111u ^ 0x222222u);
  EXPECT_EQ(d.surface.pixel(639, 0), 0x222222u);
}

TEST(DisplayState, OnlyAChangeOfBothDimensionsRebuildsButEveryFormatResets) {
  Display<SoftwareSurface> d;
  d.apply(screenFormat(1024, 768));
  d.apply(trueColourUpdate(0, 0, 1024, 768, 0x010101));
  d.apply(trueColourUpdate(5, 5, 4, 4, 0x020202, ConsoleMessage::kOverlayUpdate));
  ASSERT_TRUE(d.display.fullFrameSeen());

  d.apply(screenFormat(1024, 600, colourTableWith(0xABCDEF)));
  EXPECT_EQ(d.display.remoteHeight(), 768u);
  EXPECT_EQ(d.surface.height(), 768u);
  EXPECT_EQ(d.host.resized, 1);
  EXPECT_EQ(d.surface.pixel(0, 0), 0x010101u);  // the surface was kept
  EXPECT_FALSE(d.display.fullFrameSeen());
  EXPECT_TRUE(d.display.clearFirst());
  EXPECT_TRUE(d.display.overlayRect().empty());
  EXPECT_EQ(loadU32le(d.display.colourTable().data() + 4), 0xABCDEFu);
}

TEST(DisplayState, ColourTablePayloads) {
  struct Row { const char* name; Bytes payload; std::uint32_t entry0, entry1; };
  const std::vector<Row> rows = {
      {"an empty payload keeps the table", {}, 0x000011, 0x000022},
      {"a full table replaces it", colourTableWith(0x777777), 0, 0x777777},
      {"a short table replaces only the bytes that arrived", {0x99, 0x88, 0x77, 0x00, 0x55}, 0x778899, 0x000055},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Display<SoftwareSurface> d;
    Bytes first(1024, 0);
    storeU32le(first.data(), 0x000011);
    storeU32le(first.data() + 4, 0x000022);
    d.apply(screenFormat(640, 480, first));
    d.apply(screenFormat(640, 480, row.payload));
    EXPECT_EQ(loadU32le(d.display.colourTable().data()), row.entry0);
    EXPECT_EQ(loadU32le(d.display.colourTable().data() + 4), row.entry1);
  }
}

TEST(DisplayState, UnsupportedResolutionShowsItsBoxAndAbortsButStillRebuilds) {
  for (const bool windowed : {true, false}) {
    SCOPED_TRACE(windowed ? "windowed" : "full screen");
    Display<SoftwareSurface> d;
    d.host.windowed = windowed;
    d.apply(screenFormat(1280, 1024));
    const auto boxes = d.recorded.boxes.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, DisplayState::kUnsupportedResolutionText);
    EXPECT_EQ(boxes[0].owner, windowed ? kOwner : kViewer);
    EXPECT_EQ(boxes[0].showingWhileUp, 1);
    EXPECT_EQ(d.host.aborted, 1);
    EXPECT_EQ(d.surface.width(), 1280u);
  }
}

TEST(DisplayState, EachPartOfTheSurfaceThatFailsHasItsBoxInOrder) {
  const struct { SurfaceResult result; std::vector<std::string> texts; } cases[]{
      {SurfaceResult::NoDeviceContext, {"CreateDCFailed_en"}},
      {SurfaceResult::NoBitmap, {"CreateMemFailed_en"}},
      {SurfaceResult::NoDeviceContextNorBitmap, {"CreateDCFailed_en", "CreateMemFailed_en"}},
  };
  for (const auto& c : cases) {
    Display<PaletteSurface> d;
    d.recorded.boxes.clear();
    d.surface.failing = c.result;
    d.apply(screenFormat(640, 480));
    std::vector<std::string> texts;
    for (const auto& box : d.recorded.boxes.boxes()) {
      texts.push_back(box.text);
      EXPECT_EQ(box.owner, kViewer);
    }
    EXPECT_EQ(texts, c.texts);
  }
}

TEST(DisplayState, CopyModeAndColourTableFollowTheFlagAndTheDepths) {
  for (const std::uint16_t flag : {std::uint16_t{0}, std::uint16_t{1}}) {
    SCOPED_TRACE(flag ? "the flag on a true-colour surface: the stored table, exclusive-or"
                      : "8-bit update on a true-colour surface: its own table, copied, no palette");
    Display<SoftwareSurface> d;
    d.apply(screenFormat(640, 480, colourTableWith(0x0000FF)));
    d.apply(trueColourUpdate(0, 0, 8, 2, 0x123456));
    ASSERT_EQ(d.apply(paletteUpdate(8, 2, flag, 0xFF0000)), UpdateResult::Drawn);
    EXPECT_EQ(d.display.copyMode(), flag == 0);
    EXPECT_EQ(d.surface.pixel(0, 0), flag ? 0x123456u ^ 0x0000FFu : 0xFF0000u);
    EXPECT_TRUE(d.surface.palette().empty());
  }
  {
    SCOPED_TRACE("palette surface: the flag realises the stored table, in red-green-blue order");
    Display<PaletteSurface> d;
    d.apply(screenFormat(640, 480, colourTableWith(0x102030)));
    d.apply(paletteUpdate(8, 2, 1, 0xFF0000));
    ASSERT_EQ(d.surface.palettes.size(), 1u);
    EXPECT_EQ(d.surface.palettes[0].size(), 256u);
    EXPECT_EQ(d.surface.palettes[0][1], (PaletteEntry{0x10, 0x20, 0x30, 0}));
    EXPECT_EQ(d.surface.ops.back(), RasterOp::Copy);
  }
  {
    SCOPED_TRACE("palette surface without the flag: the block's own table");
    Display<PaletteSurface> d;
    d.apply(screenFormat(640, 480));
    d.apply(paletteUpdate(8, 2, 0, 0x405060));
    ASSERT_EQ(d.surface.palettes.size(), 1u);
    ASSERT_EQ(d.surface.palettes[0].size(), 2u);
    EXPECT_EQ(d.surface.palettes[0][1], (PaletteEntry{0x40, 0x50, 0x60, 0}));
  }
}

TEST(DisplayState, HeaderPaletteTakesAtMost256EntriesAndOnlyThoseCarried) {
  std::array<PaletteEntry, 256> out{};
  Bytes info = testing::bitmapInfo(1, 1, 8, 0, 100000, Bytes(1024, 7));
  EXPECT_EQ(DisplayState::headerPaletteEntries(info, out).size(), 256u);
  info = testing::bitmapInfo(1, 1, 8, 0, 0, Bytes(40, 7));
  EXPECT_EQ(DisplayState::headerPaletteEntries(info, out).size(), 10u);
  info = testing::bitmapInfo(1, 1, 4);
  EXPECT_EQ(DisplayState::headerPaletteEntries(info, out).size(), 0u);
}

TEST(DisplayState, EachOverlayErasesThePreviousOneFromTheSurface) {
  Display<SoftwareSurface> d;
  d.apply(screenFormat(640, 480));
  d.apply(trueColourUpdate(0, 0, 640, 480, 0x000080));
  d.apply(trueColourUpdate(0, 0, 4, 4, 0x008000, ConsoleMessage::kOverlayUpdate));
  // Exclusive-or as the last screen update chose, on the window only.
  EXPECT_EQ(d.surface.windowPixel(1, 1), 0x008080u);
  EXPECT_EQ(d.surface.pixel(1, 1), 0x000080u);
  EXPECT_EQ(d.display.overlayRect(), (SurfaceRect{0, 0, 4, 4}));

  d.apply(trueColourUpdate(10, 10, 4, 4, 0x800000, ConsoleMessage::kOverlayUpdate));
  EXPECT_EQ(d.surface.windowPixel(1, 1), 0x000080u);
  EXPECT_EQ(d.surface.windowPixel(11, 11), 0x800080u);

  // After a format the last overlay is forgotten: the next one erases nothing.
  d.apply(screenFormat(640, 480));
  d.apply(trueColourUpdate(20, 20, 4, 4, 0x800000, ConsoleMessage::kOverlayUpdate));
  EXPECT_EQ(d.surface.windowPixel(11, 11), 0x800080u);
  EXPECT_FALSE(d.display.fullFrameSeen());
}

// What a hostile server can put in an update: refused before anything is written, nothing drawn.
TEST(DisplayState, HostileUpdatesDrawNothing) {
  const Bytes good = trueColourBlock(4, 4, Pixels(16, 0xFFFFFF));
  Bytes unmarked = good;
  unmarked[3] = 0;
  Bytes tallHeader = good;  // the bitmap claims far more rows than the buffer holds
  storeU32le(tallHeader.data() + 8, static_cast<std::uint32_t>(-2000000));
  Bytes wideHeader = good;  // a 4-byte pixel size for a 65535 x 65535 rectangle
  Bytes badDepth = good;
  storeU16le(badDepth.data() + 14, 64);
  const Bytes oneRun = trueColourBlock(4, 1, Pixels(4, 0xFFFFFF));  // one fill run, cut inside its value
  const Bytes cutStream(oneRun.begin(), oneRun.end() - 2);
  Bytes copyFromNowhere = good;
  copyFromNowhere[kTrueColourHeaderLength] = 0x81;  // a copy from the row above in the first row

  struct Row { const char* name; WireMessage message; UpdateResult expected; };
  const std::vector<Row> rows = {
      {"not marked compressed", screenUpdate(4, 0, 0, 4, 4, 0, unmarked, 52), UpdateResult::Undecodable},
      {"header length past the payload", screenUpdate(4, 0, 0, 4, 4, 0, good, 100000), UpdateResult::Undecodable},
      {"header length under 40", screenUpdate(4, 0, 0, 4, 4, 0, good, 12), UpdateResult::Undecodable},
      {"stream cut inside a value", screenUpdate(4, 0, 0, 4, 1, 0, cutStream, 52), UpdateResult::Undecodable},
      {"copy before the first pixel", screenUpdate(4, 0, 0, 4, 4, 0, copyFromNowhere, 52), UpdateResult::Undecodable},
      {"rectangle beyond the decode buffer", screenUpdate(4, 0, 0, 65535, 65535, 0, wideHeader, 52),
       UpdateResult::TooLarge},
      {"bitmap rows beyond the decode buffer", screenUpdate(4, 0, 0, 4, 4, 0, tallHeader, 52), UpdateResult::TooLarge},
      {"a depth GDI does not draw", screenUpdate(4, 0, 0, 4, 4, 0, badDepth, 52), UpdateResult::BadBitmap},
      {"colour table longer than the header", screenUpdate(4, 0, 0, 4, 4, 0, paletteUpdate(4, 4, 0, 0).payload, 44),
       UpdateResult::BadBitmap},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Display<SoftwareSurface> d;
    d.apply(screenFormat(640, 480));
    d.apply(trueColourUpdate(0, 0, 640, 480, 0x204060));
    for (const std::uint8_t type : {ConsoleMessage::kScreenUpdate, ConsoleMessage::kOverlayUpdate}) {
      WireMessage m = row.message;
      m.header.setType(type);
      EXPECT_EQ(d.apply(m), row.expected);
    }
    EXPECT_EQ(d.surface.pixel(0, 0), 0x204060u);
    EXPECT_EQ(d.surface.windowPixel(0, 0), 0x204060u);
    EXPECT_TRUE(d.display.overlayRect().empty());
  }
}

// The fuzz target's seeds, each applied to a fresh display and all to one in turn: they are
// well-formed messages, and the sanitizer builds watch every write.
TEST(DisplayState, FuzzSeedsApplyCleanly) {
  display_checks::Display all;
  const auto seeds = testing::fuzzSeeds("fuzz_display");
  std::uint64_t drawn = 0;
  for (const auto& seed : seeds) {
    display_checks::Display fresh;
    display_checks::apply(fresh, seed.bytes);
    display_checks::apply(all, seed.bytes);
    drawn += fresh.display.updatesDrawn();
  }
  EXPECT_GE(seeds.size(), 6u);
  EXPECT_EQ(drawn, 4u);  // the four screen updates; the overlay and the format are not counted
  EXPECT_EQ(all.display.remoteWidth(), 640u);
}

}  // namespace
}  // namespace vantrel
