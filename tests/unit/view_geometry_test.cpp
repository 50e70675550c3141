#include "viewer/view_geometry.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "toolbar/toolbar_layout.h"
#include "viewer/view_options.h"

namespace vantrel {
namespace {

constexpr ExtentI k1024{1024, 768}, k800{800, 600}, k640{640, 480};

TEST(ViewGeometryTest, OnlyTheTwoLocalScreensAreSupported) {
  EXPECT_TRUE(isSupportedLocalScreen(k1024));
  EXPECT_TRUE(isSupportedLocalScreen(k800));
  for (const ExtentI other : {ExtentI{1280, 1024}, ExtentI{1024, 600}, ExtentI{800, 768}, k640}) {
    EXPECT_FALSE(isSupportedLocalScreen(other)) << other.width << "x" << other.height;
  }
}

TEST(ViewGeometryTest, WindowedPlacementCapsToTheAreaOrCentresInIt) {
  const struct {
    const char* name;
    ExtentI needed;
    ViewingArea area;
    ExtentI screen, remote;
    int parentHeight;
    Placement expected;
  } cases[]{
      // A larger area: centred horizontally from 0 (areaLeft is not added), vertically below areaTop.
      {"800 in larger area", k800, {40, 20, 1000, 700}, k1024, k800, 740, {100, 70, 800, 602, 800, 600}},
      {"1024 in larger area", {1028, 772}, {0, 0, 1030, 780}, k1024, k1024, 800, {1, 4, 1028, 774, 1028, 772}},
      // Taller than the area: at areaTop, and 15 wider for the scroll bar only when the area has room.
      {"1024 in smaller area", k1024, {0, 30, 1000, 700}, k1024, k1024, 740, {0, 30, 1000, 702, 1000, 700}},
      {"800 wide room for bar", k800, {0, 10, 1000, 500}, k800, k800, 540, {100, 10, 815, 501, 815, 500}},
      // An 800 x 600 remote cut short on a 1024 x 768 screen takes its height from the host.
      {"800 short, low parent", k800, {0, 0, 700, 500}, k1024, k800, 560, {0, 0, 700, 535, 700, 500}},
      {"800 short, tall parent", k800, {0, 0, 700, 500}, k1024, k800, 700, {0, 0, 700, 600, 700, 500}},
      {"800 local screen", k640, {0, 0, 800, 560}, k800, k640, 600, {80, 40, 640, 481, 640, 480}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(windowedPlacement(c.needed, c.area, c.screen, c.remote, c.parentHeight), c.expected) << c.name;
  }
}

TEST(ViewGeometryTest, FullScreenPlacementWhenFittedAndWhenEntered) {
  const ViewingArea area{0, 0, 1000, 700};
  const ExtentI k1280x720{1280, 720}, k1920x1080{1920, 1080};
  // `needed` is 4 more than the remote size, so that the placements that take it show it.
  const struct {
    const char* name;
    ExtentI screen, remote;
    bool anyScreen;
    Placement fitted, entered;  // x, y, width, height, bordered (the window sizes are checked apart)
  } cases[]{
      {"800 on 1024", k1024, k800, false, {112, 84, 802, 602, 0, 0, true}, {112, 84, 802, 602, 0, 0, true}},
      {"640 on 800", k800, k640, false, {80, 60, 642, 482, 0, 0, true}, {80, 60, 642, 482, 0, 0, true}},
      {"1024 on 1024", k1024, k1024, false, {0, 0, 1024, 768, 0, 0, false}, {0, 0, 1028, 772, 0, 0, false}},
      {"1024 on 800", k800, k1024, false, {0, 0, 1024, 768, 0, 0, false}, {0, 0, 1028, 772, 0, 0, false}},
      // Narrower but taller than the screen: entered at the top rather than above the screen.
      {"1024 on 1280x720", k1280x720, k1024, false, {128, 0, 1024, 768, 0, 0, false},
       {128, 0, 1026, 770, 0, 0, true}},
      // With the switch both agree, and a border only where there is room all round.
      {"any: 1024 on 1280x720", k1280x720, k1024, true, {128, 0, 1024, 768, 0, 0, false},
       {128, 0, 1024, 768, 0, 0, false}},
      {"any: 1024 on 1920x1080", k1920x1080, k1024, true, {448, 156, 1026, 770, 0, 0, true},
       {448, 156, 1026, 770, 0, 0, true}},
      {"any: 800 on 1024", k1024, k800, true, {112, 84, 802, 602, 0, 0, true}, {112, 84, 802, 602, 0, 0, true}},
      {"any: 1024 on 800", k800, k1024, true, {0, 0, 1024, 768, 0, 0, false}, {0, 0, 1024, 768, 0, 0, false}},
  };
  for (const auto& c : cases) {
    const ExtentI needed{c.remote.width + 4, c.remote.height + 4};
    Placement fitted = fullScreenPlacement(needed, area, c.screen, c.remote, c.anyScreen);
    EXPECT_EQ(fitted.windowWidth, std::min(needed.width, 1000)) << c.name;
    EXPECT_EQ(fitted.windowHeight, std::min(needed.height, 700)) << c.name;
    fitted.windowWidth = fitted.windowHeight = 0;
    EXPECT_EQ(fitted, c.fitted) << c.name;
    EXPECT_EQ(enterFullScreenPlacement(needed, c.screen, c.remote, c.anyScreen), c.entered) << c.name;
  }
  EXPECT_EQ(centreOffset(1024, 1023), 0);  // half a pixel is no offset
  EXPECT_EQ(centreOffset(1024, 1021), 1);
}

TEST(ViewGeometryTest, LeavingFullScreenPlacesTheViewerByTheRoomInTheHostWindow) {
  const int thumb = 16;
  const struct { const char* name; ExtentI parent, remote; WindowFrame expected; } cases[]{
      {"room below the top rows", {1024, 768}, k800, {112, 96, 800, 602}},
      {"up to 25 rows spare: thumb added", {1000, 620}, k800, {100, 25, 816, 594}},
      {"no rows spare, room across", {1000, 470}, k640, {180, 25, 656, 444}},
      {"no rows spare, just the width", {1024, 768}, k1024, {0, 25, 1024, 742}},
      {"parent narrower", k800, k1024, {0, 25, 800, 574}},
  };
  for (const auto& c : cases) EXPECT_EQ(leaveFullScreenFrame(c.parent, c.remote, thumb), c.expected) << c.name;
}

TEST(ViewGeometryTest, ScrollBarsShowOnlyInTheWindowedViewAndOnlyAlongTheShortSide) {
  EXPECT_EQ(scrollBarsFor(true, {1000, 700}, {1028, 772}), (ScrollBarVisibility{true, true}));
  EXPECT_EQ(scrollBarsFor(true, {1028, 700}, {1028, 772}), (ScrollBarVisibility{false, true}));
  EXPECT_EQ(scrollBarsFor(true, {1028, 772}, {1028, 772}), (ScrollBarVisibility{false, false}));
  EXPECT_EQ(scrollBarsFor(false, {10, 10}, {1028, 772}), (ScrollBarVisibility{false, false}));
}

TEST(ViewGeometryTest, LayoutTakesTheVisiblePartAndPullsOffsetsBackInsideTheLimits) {
  const ScrollState scrolled{300, 200, 1024, 768, 700, 500, };
  // The window grew: 900 x 700 visible, so at most 124 and 68 can stay hidden.
  EXPECT_EQ(layoutScroll(scrolled, true, {900, 700}, k1024), (ScrollState{124, 68, 1024, 768, 900, 700}));
  // A client larger than the remote screen shows all of it.
  EXPECT_EQ(layoutScroll(scrolled, true, {1100, 800}, k1024), (ScrollState{0, 0, 1024, 768, 1024, 768}));
  // Full screen keeps the view size it had; only the ranges and the offsets follow.
  EXPECT_EQ(layoutScroll(scrolled, false, {1100, 800}, k800), (ScrollState{100, 100, 800, 600, 700, 500}));
}

TEST(ViewGeometryTest, ScrollRequestsStopAtTheOriginAndAtRangeMinusTheVisiblePart) {
  const ScrollState windowed{100, 50, 1024, 768, 800, 600};
  const ScrollContext inWindow{false, k1024, 1024};
  EXPECT_EQ(limitScroll(windowed, inWindow, 1000, 1000), (ScrollStep{124, 118}));
  EXPECT_EQ(limitScroll(windowed, inWindow, -1000, -1000), (ScrollStep{-100, -50}));
  EXPECT_EQ(limitScroll(windowed, inWindow, 10, -10), (ScrollStep{10, -10}));
  // A visible part wider than the range still never scrolls before the origin.
  EXPECT_EQ(limitScroll({5, 0, 10, 10, 800, 600}, inWindow, 3, 0), (ScrollStep{-5, 0}));

  // Full screen: an 800 x 600 screen scrolls a 1024 x 768 remote by the screen's size...
  const ScrollState full{0, 0, 1024, 768, 0, 0};
  EXPECT_EQ(limitScroll(full, {true, k800, 1024}, 1000, 1000), (ScrollStep{224, 168}));
  // ...while a screen that holds it all, or a 640 x 480 remote, never scrolls.
  EXPECT_EQ(limitScroll(full, {true, k1024, 1024}, 1000, 1000), (ScrollStep{}));
  EXPECT_EQ(limitScroll({0, 0, 640, 480, 0, 0}, {true, k800, 640}, 1000, 1000), (ScrollStep{}));

  // With the switch the screen's own size is the limit, whatever the screen.
  EXPECT_EQ(limitScroll(full, {true, k800, 1024, true}, 1000, 1000), (ScrollStep{224, 168}));
  EXPECT_EQ(limitScroll(full, {true, {1280, 720}, 1024, true}, 1000, 1000), (ScrollStep{0, 48}));
  EXPECT_EQ(limitScroll(full, {true, {1920, 1080}, 1024, true}, 1000, 1000), (ScrollStep{}));
  EXPECT_EQ(limitScroll(full, {true, {1280, 1024}, 1024, false}, 0, 1000), (ScrollStep{}));
}

TEST(ViewGeometryTest, ScrollBarRequestsMoveByLinesQuartersOrToTheThumb) {
  const struct { std::uint16_t request, thumb; int visible, position, expected; } cases[]{
      {0, 0, 600, 50, -2},  {1, 0, 600, 50, 2},     {2, 0, 601, 50, -150}, {3, 0, 600, 50, 150},
      {4, 80, 600, 50, 30}, {5, 10, 600, 50, -40},  {6, 99, 600, 50, 0},   {8, 99, 600, 50, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(scrollRequestDelta(c.request, c.thumb, c.visible, c.position), c.expected) << c.request;
  }
}

TEST(ViewGeometryTest, SizingPinsEachDraggedEdge) {
  const RectI proposed{1, 2, 3, 4};
  const ViewingArea area{10, 20, 500, 400};
  const struct { int edge; RectI expected; } cases[]{
      {1, {10, 2, 3, 4}},   {2, {1, 2, 309, 4}},    {3, {1, 20, 3, 4}},   {4, {10, 20, 3, 4}},
      {5, {1, 20, 309, 4}}, {6, {1, 2, 3, 219}},   {7, {10, 2, 3, 219}}, {8, {1, 2, 309, 219}},
      {9, proposed},
  };
  for (const auto& c : cases) EXPECT_EQ(pinSizingRect(c.edge, proposed, area, 300, 200), c.expected) << c.edge;
}

TEST(ToolbarLayoutTest, CentredInItsParentAndClippedEquallyWhenNarrower) {
  const struct { int parentWidth, x; } cases[]{{1024, 199}, {800, 87}, {625, 0}, {624, 0}, {600, -12}, {0, -312}};
  for (const auto& c : cases) EXPECT_EQ(toolbarX(c.parentWidth), c.x) << c.parentWidth;

  // Both ends of the span are over the toolbar.
  const ToolbarSpan span = toolbarSpan(112, 88);
  EXPECT_EQ(span, (ToolbarSpan{200, 825}));
  EXPECT_FALSE(span.contains(199));
  EXPECT_TRUE(span.contains(200));
  EXPECT_TRUE(span.contains(825));
  EXPECT_FALSE(span.contains(826));
}

TEST(ViewGeometryTest, PointerNearTheEdgesScrollsAndDropsTheToolbarIn) {
  using enum ToolbarChange;
  const ExtentI k1280x720{1280, 720};
  const ScrollStep left{-1000, 0}, right{1000, 0}, up{0, -1000}, down{0, 1000};
  // Where the toolbar lies over a 1024-wide viewer at 0 or 128, and over an 802-wide one at 112.
  const ToolbarSpan on800{199, 824}, on1024{200, 825}, on1280{327, 952};
  const struct { const char* name; PointerAtEdge pointer; EdgeResponse expected; } cases[]{
      // 1024 x 768 on an 800 x 600 screen: the remote screen fills it and scrolls at every edge.
      {"right band", {795, 300, k800, k1024, true, false, 0, on800}, {{right}, Hide}},
      {"bottom band", {400, 595, k800, k1024, true, false, 0, on800}, {{down}, Hide}},
      {"bottom-left corner scrolls twice", {3, 597, k800, k1024, true, false, 0, on800}, {{down, left}, Hide}},
      {"top-left corner scrolls twice", {2, 3, k800, k1024, true, false, 0, on800}, {{up, left}, Hide}},
      {"top band over the toolbar", {400, 5, k800, k1024, true, false, 0, on800}, {{up}, Show}},
      {"top band, scrolled down", {400, 5, k800, k1024, true, false, 100, on800}, {{up}, Hide}},
      {"top band, no toolbar yet", {400, 5, k800, k1024, true, false, 0, std::nullopt}, {{up}, Hide}},
      {"top band, windowed", {400, 5, k800, k1024, false, false, 0, on800}, {{}, Hide}},
      {"middle", {400, 300, k800, k1024, true, false, 0, on800}, {{}, Hide}},
      // 800 x 600 centred on 1024 x 768: no scrolling; the top 11 rows of the window show the
      // toolbar, except along the window's left edge, where nothing changes.
      {"centred: top over the toolbar", {100, 10, k1024, k800, true, false, 0, on1024}, {{}, Show}},
      {"centred: below the top rows", {100, 11, k1024, k800, true, false, 0, on1024}, {{}, Hide}},
      {"centred: left edge", {5, 5, k1024, k800, true, false, 0, on1024}, {{}, None}},
      {"centred: beside the toolbar", {50, 5, k1024, k800, true, false, 0, on1024}, {{}, Hide}},
      // 1024 x 768 on 1280 x 720, centred across and taller: only the switch scrolls it.
      {"taller: bottom", {500, 715, k1280x720, k1024, true, false, 0, on1280}, {{}, Hide}},
      {"any, taller: bottom", {500, 715, k1280x720, k1024, true, true, 0, on1280}, {{down}, Hide}},
      {"any, taller: top", {500, 3, k1280x720, k1024, true, true, 0, on1280}, {{up}, Show}},
      {"any, taller: left edge", {3, 300, k1280x720, k1024, true, true, 0, on1280}, {{left}, Hide}},
      {"any, centred on 1920x1080", {300, 5, {1920, 1080}, k1024, true, true, 0, ToolbarSpan{648, 1273}},
       {{}, Show}},
  };
  for (const auto& c : cases) EXPECT_EQ(respondToEdge(c.pointer), c.expected) << c.name;
}

// [VIEW] AnyLocalScreen=1 lets any local screen be laid out by its own size; no value: no such key.
TEST(ViewOptionsTest, AnyLocalScreenOnlyWithAOne) {
  const struct { std::optional<std::string> value; bool enabled; } cases[]{
      {"1", true}, {std::nullopt, false}, {"0", false}, {"", false}, {"yes", false}, {"11", false}};
  for (const auto& c : cases) {
    const MessageCatalog catalog("C:\\host", [&](std::string_view section, std::string_view key,
                                                 std::string_view fallback, const std::string&) {
      if (section == "VIEW" && key == "AnyLocalScreen" && c.value) return *c.value;
      return std::string(fallback);
    });
    EXPECT_EQ(anyLocalScreenEnabled(catalog), c.enabled) << c.value.value_or("(none)");
  }
}

}  // namespace
}  // namespace vantrel
