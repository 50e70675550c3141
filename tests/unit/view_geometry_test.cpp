#include "viewer/view_geometry.h"

#include <gtest/gtest.h>

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

TEST(ViewGeometryTest, FullScreenPlacementCentresWithABorderOnlyWhenThereIsRoom) {
  const ViewingArea area{0, 0, 1000, 700};
  EXPECT_EQ(fullScreenPlacement(k800, area, k1024, k800), (Placement{112, 84, 802, 602, 800, 600, true}));
  EXPECT_EQ(fullScreenPlacement(k1024, area, k1024, k1024), (Placement{0, 0, 1024, 768, 1000, 700, false}));
  EXPECT_EQ(fullScreenPlacement(k1024, area, k800, k1024), (Placement{0, 0, 1024, 768, 1000, 700, false}));
  EXPECT_EQ(centreOffset(1024, 1023), 0);  // half a pixel is no offset
  EXPECT_EQ(centreOffset(1024, 1021), 1);
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
}

TEST(ViewGeometryTest, ScrollBarRequestsMoveByLinesQuartersOrToTheThumb) {
  const struct {
    std::uint16_t request, thumb;
    int visible, position, expected;
  } cases[]{
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
  const struct {
    int edge;
    RectI expected;
  } cases[]{
      {1, {10, 2, 3, 4}},   {2, {1, 2, 309, 4}},    {3, {1, 20, 3, 4}},   {4, {10, 20, 3, 4}},
      {5, {1, 20, 309, 4}}, {6, {1, 2, 3, 219}},   {7, {10, 2, 3, 219}}, {8, {1, 2, 309, 219}},
      {9, proposed},
  };
  for (const auto& c : cases) EXPECT_EQ(pinSizingRect(c.edge, proposed, area, 300, 200), c.expected) << c.edge;
}

}  // namespace
}  // namespace vantrel
