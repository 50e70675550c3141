// Where the remote screen goes in the viewer's window, and the way back for the pointer.
#include "viewer/sdl/view_layout.h"

#include <gtest/gtest.h>

namespace vantrel::cli {
namespace {

TEST(ViewLayout, ScaledKeepsTheAspectInBarsAndOneToOneScrollsWithinTheScreen) {
  struct Case {
    Size window;
    bool scaled;
    Point scroll;
    ViewLayout expected;
  };
  const Size remote{1024, 768};
  const Case cases[] = {
      {{800, 600}, true, {}, {{0, 0, 1024, 768}, {0, 0, 800, 600}}},
      {{1000, 600}, true, {}, {{0, 0, 1024, 768}, {100, 0, 800, 600}}},   // bars left and right
      {{1024, 900}, true, {}, {{0, 0, 1024, 768}, {0, 66, 1024, 768}}},   // above and below
      {{2048, 1536}, true, {}, {{0, 0, 1024, 768}, {0, 0, 2048, 1536}}},  // full screen on a larger monitor
      {{800, 600}, false, {100, 50}, {{100, 50, 800, 600}, {0, 0, 800, 600}}},
      {{800, 600}, false, {900, -5}, {{224, 0, 800, 600}, {0, 0, 800, 600}}},  // kept within the screen
      {{1280, 1024}, false, {30, 30}, {{0, 0, 1024, 768}, {128, 128, 1024, 768}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(fitView(remote, c.window, c.scaled, c.scroll), c.expected) << c.window.width << "x" << c.window.height;
  }
}

// Every window size maps its picture's corners onto the remote corners, and points past the
// picture onto its edges.
TEST(ViewLayout, TheCornersOfThePictureAreTheRemoteCorners) {
  for (const Size remote : {Size{1024, 768}, Size{800, 600}, Size{640, 480}}) {
    for (int w = 97; w <= 2100; w += 131) {
      for (int h = 89; h <= 1700; h += 157) {
        const ViewLayout l = fitView(remote, {w, h}, true);
        const int left = l.target.x, top = l.target.y;
        const int right = left + l.target.width - 1, bottom = top + l.target.height - 1;
        const Point last{remote.width - 1, remote.height - 1};
        ASSERT_EQ(remotePoint(l, {left, top}), (Point{0, 0})) << w << "x" << h;
        ASSERT_EQ(remotePoint(l, {right, bottom}), last) << w << "x" << h;
        ASSERT_EQ(remotePoint(l, {right, top}), (Point{last.x, 0})) << w << "x" << h;
        ASSERT_EQ(remotePoint(l, {-20, h + 20}), (Point{0, last.y})) << w << "x" << h;
      }
    }
  }
  // 1:1 and scrolled: the pointer lands on the pixel under it.
  const ViewLayout scrolled = fitView({1024, 768}, {800, 600}, false, {100, 50});
  EXPECT_EQ(remotePoint(scrolled, {10, 10}), (Point{110, 60}));
}

TEST(ViewLayout, TheFirstWindowIsTheRemoteSizeWhereThereIsRoom) {
  EXPECT_EQ(initialWindowSize({1024, 768}, {1920, 1050}, false), (Size{1024, 768}));
  EXPECT_EQ(initialWindowSize({1024, 768}, {1366, 700}, false), (Size{933, 700}));
  EXPECT_EQ(initialWindowSize({1024, 768}, {1366, 700}, true), (Size{1024, 700}));
  EXPECT_EQ(initialWindowSize({1024, 768}, {0, 0}, false), (Size{1024, 768}));  // the desktop did not say
}

}  // namespace
}  // namespace vantrel::cli
