#include "viewer/view_geometry.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

#include "toolbar/toolbar_layout.h"
#include "viewer/view_options.h"

namespace vantrel {
namespace {

constexpr ExtentI k1024{1024, 768}, k800{800, 600}, k640{640, 480};
constexpr ViewOptions kPlain{}, kAnyScreen{true, false}, kScaled{true, true};

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
    ViewOptions options;
    Placement fitted, entered;  // x, y, width, height, bordered (the window sizes are checked apart)
  } cases[]{
      {"800 on 1024", k1024, k800, kPlain, {112, 84, 802, 602, 0, 0, true}, {112, 84, 802, 602, 0, 0, true}},
      {"640 on 800", k800, k640, kPlain, {80, 60, 642, 482, 0, 0, true}, {80, 60, 642, 482, 0, 0, true}},
      {"1024 on 1024", k1024, k1024, kPlain, {0, 0, 1024, 768, 0, 0, false}, {0, 0, 1028, 772, 0, 0, false}},
      {"1024 on 800", k800, k1024, kPlain, {0, 0, 1024, 768, 0, 0, false}, {0, 0, 1028, 772, 0, 0, false}},
      // Narrower but taller than the screen: entered at the top rather than above the screen.
      {"1024 on 1280x720", k1280x720, k1024, kPlain, {128, 0, 1024, 768, 0, 0, false},
       {128, 0, 1026, 770, 0, 0, true}},
      // With the switch both agree, and a border only where there is room all round.
      {"any: 1024 on 1280x720", k1280x720, k1024, kAnyScreen, {128, 0, 1024, 768, 0, 0, false},
       {128, 0, 1024, 768, 0, 0, false}},
      {"any: 1024 on 1920x1080", k1920x1080, k1024, kAnyScreen, {448, 156, 1026, 770, 0, 0, true},
       {448, 156, 1026, 770, 0, 0, true}},
      // Scaled, the window covers the screen, borderless; a remote of the screen's size stays 1:1,
      // and without AnyLocalScreen the full-screen view is not scaled.
      {"scaled: 1024 on 1920x1080", k1920x1080, k1024, kScaled, {0, 0, 1920, 1080, 0, 0, false},
       {0, 0, 1920, 1080, 0, 0, false}},
      {"scaled: 800 on 1024", k1024, k800, kScaled, {0, 0, 1024, 768, 0, 0, false}, {0, 0, 1024, 768, 0, 0, false}},
      {"scaled: 1024 on 1024", k1024, k1024, kScaled, {0, 0, 1024, 768, 0, 0, false},
       {0, 0, 1028, 772, 0, 0, false}},
      {"scaled without any", k1024, k800, {false, true}, {112, 84, 802, 602, 0, 0, true},
       {112, 84, 802, 602, 0, 0, true}},
  };
  for (const auto& c : cases) {
    const ExtentI needed{c.remote.width + 4, c.remote.height + 4};
    Placement fitted = fullScreenPlacement(needed, area, c.screen, c.remote, c.options);
    EXPECT_EQ(fitted.windowWidth, std::min(needed.width, 1000)) << c.name;
    EXPECT_EQ(fitted.windowHeight, std::min(needed.height, 700)) << c.name;
    fitted.windowWidth = fitted.windowHeight = 0;
    EXPECT_EQ(fitted, c.fitted) << c.name;
    EXPECT_EQ(enterFullScreenPlacement(needed, c.screen, c.remote, c.options), c.entered) << c.name;
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
  using enum ViewKind;
  EXPECT_EQ(scrollBarsFor(Windowed, {1000, 700}, {1028, 772}), (ScrollBarVisibility{true, true}));
  EXPECT_EQ(scrollBarsFor(Windowed, {1028, 700}, {1028, 772}), (ScrollBarVisibility{false, true}));
  EXPECT_EQ(scrollBarsFor(Windowed, {1028, 772}, {1028, 772}), (ScrollBarVisibility{false, false}));
  EXPECT_EQ(scrollBarsFor(FullScreen, {10, 10}, {1028, 772}), (ScrollBarVisibility{false, false}));
  EXPECT_EQ(scrollBarsFor(Scaled, {10, 10}, {1028, 772}), (ScrollBarVisibility{false, false}));
}

// Scaled in the windowed view only when the remote screen does not fit the area; in full
// screen only with AnyLocalScreen as well, and only when the screen is of another size.
TEST(ViewGeometryTest, ScaledOnlyWhereItChangesThePicture) {
  const ViewingArea area{0, 0, 1000, 700};
  const ExtentI k1920x1080{1920, 1080};
  EXPECT_TRUE(scaledView(kScaled, false, k1024, k1920x1080, area));
  EXPECT_TRUE(scaledView({false, true}, false, k1024, k1024, area));
  EXPECT_FALSE(scaledView(kScaled, false, k800, k1920x1080, area));
  EXPECT_FALSE(scaledView(kAnyScreen, false, k1024, k1920x1080, area));
  EXPECT_TRUE(scaledView(kScaled, true, k800, k1920x1080, area));
  EXPECT_FALSE(scaledView(kScaled, true, k1024, k1024, area));
  EXPECT_FALSE(scaledView({false, true}, true, k800, k1920x1080, area));
}

TEST(ViewGeometryTest, LayoutTakesTheVisiblePartAndPullsOffsetsBackInsideTheLimits) {
  const ScrollState scrolled{300, 200, 1024, 768, 700, 500, };
  // The window grew: 900 x 700 visible, so at most 124 and 68 can stay hidden.
  EXPECT_EQ(layoutScroll(scrolled, ViewKind::Windowed, {900, 700}, k1024), (ScrollState{124, 68, 1024, 768, 900, 700}));
  // A client larger than the remote screen shows all of it.
  EXPECT_EQ(layoutScroll(scrolled, ViewKind::Windowed, {1100, 800}, k1024), (ScrollState{0, 0, 1024, 768, 1024, 768}));
  // Full screen keeps the view size it had; only the ranges and the offsets follow.
  EXPECT_EQ(layoutScroll(scrolled, ViewKind::FullScreen, {1100, 800}, k800), (ScrollState{100, 100, 800, 600, 700, 500}));
  // Along a side without a bar (the client a little narrower than the remote screen) nothing
  // could scroll back: the offset goes.
  EXPECT_EQ(layoutScroll(scrolled, ViewKind::Windowed, {1006, 700}, k1024, {false, true}),
            (ScrollState{0, 68, 1024, 768, 1006, 700}));
  // Scaled, all of it is seen, whatever the client: back to the origin.
  EXPECT_EQ(layoutScroll(scrolled, ViewKind::Scaled, {500, 300}, k1024), (ScrollState{0, 0, 1024, 768, 1024, 768}));
}

TEST(ViewGeometryTest, ScrollRequestsStopAtTheOriginAndAtRangeMinusTheVisiblePart) {
  const ScrollState windowed{100, 50, 1024, 768, 800, 600};
  const ScrollContext inWindow{false, k1024, k1024};
  EXPECT_EQ(limitScroll(windowed, inWindow, 1000, 1000), (ScrollStep{124, 118}));
  EXPECT_EQ(limitScroll(windowed, inWindow, -1000, -1000), (ScrollStep{-100, -50}));
  EXPECT_EQ(limitScroll(windowed, inWindow, 10, -10), (ScrollStep{10, -10}));
  // A visible part wider than the range still never scrolls before the origin.
  EXPECT_EQ(limitScroll({5, 0, 10, 10, 800, 600}, inWindow, 3, 0), (ScrollStep{-5, 0}));

  // Full screen: an 800 x 600 screen scrolls a 1024 x 768 remote by the screen's size...
  const ScrollState full{0, 0, 1024, 768, 0, 0};
  EXPECT_EQ(limitScroll(full, {true, k800, k1024}, 1000, 1000), (ScrollStep{224, 168}));
  // ...while a screen that holds it all, or a 640 x 480 remote, never scrolls.
  EXPECT_EQ(limitScroll(full, {true, k1024, k1024}, 1000, 1000), (ScrollStep{}));
  EXPECT_EQ(limitScroll({0, 0, 640, 480, 0, 0}, {true, k800, k640}, 1000, 1000), (ScrollStep{}));

  // With the switch another screen's own size is the limit.
  EXPECT_EQ(limitScroll(full, {true, {1280, 720}, k1024, true}, 1000, 1000), (ScrollStep{0, 48}));
  EXPECT_EQ(limitScroll(full, {true, {1920, 1080}, k1024, true}, 1000, 1000), (ScrollStep{}));
  EXPECT_EQ(limitScroll(full, {true, {1280, 1024}, k1024, false}, 0, 1000), (ScrollStep{}));
  // A scaled view shows all of it.
  EXPECT_EQ(limitScroll(full, {true, {1280, 720}, k1024, true, true}, 1000, 1000), (ScrollStep{}));
  EXPECT_EQ(limitScroll(windowed, {false, k1024, k1024, false, true}, 10, 10), (ScrollStep{}));
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

// The pointer in full screen (or windowed, `full` false) at client (x, y), scrolled to (sx, sy),
// the toolbar where the viewer's width puts it.
PointerAtEdge at(int x, int y, ExtentI screen, ExtentI remote, int sx = 0, int sy = 0,
                 std::optional<ToolbarSpan> toolbar = std::nullopt, ViewOptions options = kPlain, bool full = true) {
  const ScrollContext view{full, screen, remote, options.anyLocalScreen,
                           scaledView(options, full, remote, screen, {})};
  return {x, y, view, {sx, sy, remote.width, remote.height, 0, 0}, toolbar};
}

TEST(ViewGeometryTest, PointerNearTheEdgesScrollsAndDropsTheToolbarIn) {
  using enum ToolbarChange;
  const ExtentI k1280x720{1280, 720}, k1920x1080{1920, 1080};
  const ScrollStep left{-1000, 0}, right{1000, 0}, up{0, -1000}, down{0, 1000};
  // Where the toolbar lies over a 1024-wide viewer at 0 or 128, and over an 802-wide one at 112.
  const ToolbarSpan on800{199, 824}, on1024{200, 825}, on1280{327, 952};
  const struct { const char* name; PointerAtEdge pointer; EdgeResponse expected; } cases[]{
      // 1024 x 768 on an 800 x 600 screen: the remote screen fills it and scrolls at every edge.
      {"right band", at(795, 300, k800, k1024, 0, 0, on800), {{right}, Hide}},
      {"bottom band", at(400, 595, k800, k1024, 0, 0, on800), {{down}, Hide}},
      {"bottom-left corner scrolls twice", at(3, 597, k800, k1024, 0, 0, on800), {{down, left}, Hide}},
      {"top-left corner scrolls twice", at(2, 3, k800, k1024, 0, 0, on800), {{up, left}, Hide}},
      {"top band over the toolbar", at(400, 5, k800, k1024, 0, 0, on800), {{up}, Show}},
      {"top band, scrolled down", at(400, 5, k800, k1024, 0, 100, on800), {{up}, Hide}},
      // The right band's corner has scrolled to the top before the top band looks.
      {"top-right corner, scrolled down", at(795, 5, k800, k1024, 0, 168, on800), {{up, right}, Show}},
      {"top band, no toolbar yet", at(400, 5, k800, k1024), {{up}, Hide}},
      {"top band, windowed", at(400, 5, k800, k1024, 0, 0, on800, kPlain, false), {{}, Hide}},
      {"middle", at(400, 300, k800, k1024, 0, 0, on800), {{}, Hide}},
      // 800 x 600 centred on 1024 x 768: no scrolling; the top 11 rows of the window show the
      // toolbar, except along the window's left edge, where nothing changes.
      {"centred: top over the toolbar", at(100, 10, k1024, k800, 0, 0, on1024), {{}, Show}},
      {"centred: below the top rows", at(100, 11, k1024, k800, 0, 0, on1024), {{}, Hide}},
      {"centred: left edge", at(5, 5, k1024, k800, 0, 0, on1024), {{}, None}},
      {"centred: beside the toolbar", at(50, 5, k1024, k800, 0, 0, on1024), {{}, Hide}},
      // 1024 x 768 on 1280 x 720, centred across and taller: only the switch scrolls it.
      {"taller: bottom", at(500, 715, k1280x720, k1024, 0, 0, on1280), {{}, Hide}},
      {"any, taller: bottom", at(500, 715, k1280x720, k1024, 0, 0, on1280, kAnyScreen), {{down}, Hide}},
      {"any, taller: top", at(500, 3, k1280x720, k1024, 0, 0, on1280, kAnyScreen), {{up}, Show}},
      {"any, taller: left edge", at(3, 300, k1280x720, k1024, 0, 0, on1280, kAnyScreen), {{left}, Hide}},
      {"any, centred on 1920x1080", at(300, 5, k1920x1080, k1024, 0, 0, ToolbarSpan{648, 1273}, kAnyScreen),
       {{}, Show}},
      // Scaled, the picture fills the screen: its top drops the toolbar in; nothing can scroll.
      {"scaled: top", at(900, 3, k1280x720, k1024, 0, 0, ToolbarSpan{327, 952}, kScaled), {{up}, Show}},
      {"scaled: top-right corner", at(1275, 3, k1280x720, k1024, 0, 0, ToolbarSpan{327, 952}, kScaled),
       {{up, right}, Hide}},
  };
  for (const auto& c : cases) EXPECT_EQ(respondToEdge(c.pointer), c.expected) << c.name;
}

// On the two screens the resolution check accepts, AnyLocalScreen changes nothing, for any
// remote size (an unsupported one is still laid out after its warning).
TEST(ViewGeometryTest, AnyLocalScreenLeavesTheTwoSupportedScreensAlone) {
  const ToolbarSpan span{199, 824};
  for (const ExtentI screen : {k1024, k800}) {
    for (const ExtentI remote : {k640, k800, k1024, ExtentI{1280, 1024}, ExtentI{1024, 700}, ExtentI{640, 900}}) {
      const std::string name = std::to_string(remote.width) + "x" + std::to_string(remote.height) + " on " +
                               std::to_string(screen.width);
      const ExtentI needed{remote.width + 4, remote.height + 4};
      EXPECT_EQ(fullScreenPlacement(needed, {0, 0, 1000, 700}, screen, remote, kAnyScreen),
                fullScreenPlacement(needed, {0, 0, 1000, 700}, screen, remote, kPlain)) << name;
      EXPECT_EQ(enterFullScreenPlacement(needed, screen, remote, kAnyScreen),
                enterFullScreenPlacement(needed, screen, remote, kPlain)) << name;
      const ScrollState state{0, 0, remote.width, remote.height, 700, 500};
      EXPECT_EQ(limitScroll(state, {true, screen, remote, true}, 1000, 1000),
                limitScroll(state, {true, screen, remote, false}, 1000, 1000)) << name;
      for (const auto& [x, y] : {std::pair{3, 300}, {screen.width - 5, 300}, {400, screen.height - 3}, {400, 3}}) {
        EXPECT_EQ(respondToEdge(at(x, y, screen, remote, 0, 0, span, kAnyScreen)),
                  respondToEdge(at(x, y, screen, remote, 0, 0, span, kPlain))) << name << " at " << x << "," << y;
      }
    }
  }
}

// [VIEW] AnyLocalScreen=1 and ScaleToFit=1, each on only with a one; no value: no such key.
TEST(ViewOptionsTest, EachSwitchOnlyWithAOne) {
  const struct { std::optional<std::string> value; bool enabled; } cases[]{
      {"1", true}, {std::nullopt, false}, {"0", false}, {"", false}, {"yes", false}, {"11", false}};
  for (const char* key : {"AnyLocalScreen", "ScaleToFit"}) {
    for (const auto& c : cases) {
      const MessageCatalog catalog("C:\\host", [&](std::string_view section, std::string_view asked,
                                                   std::string_view fallback, const std::string&) {
        if (section == "VIEW" && asked == key && c.value) return *c.value;
        return std::string(fallback);
      });
      const ViewOptions options = viewOptions(catalog);
      EXPECT_EQ(std::string(key) == "AnyLocalScreen" ? options.anyLocalScreen : options.scaleToFit, c.enabled)
          << key << "=" << c.value.value_or("(none)");
      EXPECT_FALSE(std::string(key) == "AnyLocalScreen" ? options.scaleToFit : options.anyLocalScreen) << key;
    }
  }
}

}  // namespace
}  // namespace vantrel
