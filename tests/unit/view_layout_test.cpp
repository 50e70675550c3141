// Where the remote screen goes in the viewer's window, and the way back for the pointer.
#include "viewer/view_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

namespace vantrel {
namespace {

TEST(ViewLayout, ScaledKeepsTheAspectInBarsAndOneToOneScrollsWithinTheScreen) {
  struct Case {
    ExtentI window;
    bool scaled;
    Point scroll;
    ViewLayout expected;
  };
  const ExtentI remote{1024, 768};
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
  for (const ExtentI remote : {ExtentI{1024, 768}, ExtentI{800, 600}, ExtentI{640, 480}}) {
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

// A changed rectangle reaches a scaled picture through a piece of it stretched by the whole
// picture's own factor: its source holds the change and room around it for the smoothing, its
// target is exactly where the whole picture puts that source, and its clip covers every window
// pixel the change shows in, inside the target.
TEST(ViewLayout, AChangedRectangleIsCopiedOnTheWholePicturesGrid) {
  const struct { ExtentI remote, window; } layouts[]{
      {{1024, 768}, {1920, 1080}}, {{1024, 768}, {1280, 720}}, {{1024, 768}, {1000, 702}}, {{800, 600}, {1920, 1080}},
      {{640, 480}, {1011, 707}}};
  const Rect changes[]{{0, 0, 1, 1}, {500, 300, 100, 100}, {1000, 700, 200, 200}, {33, 17, 7, 250}, {-5, -5, 10, 10}};
  for (const auto& l : layouts) {
    const ViewLayout layout = fitView(l.remote, l.window, true);
    const Rect& t = layout.target;
    for (const Rect& changed : changes) {
      const ScaledCopy copy = scaledCopy(layout, changed);
      const std::string name = std::to_string(l.window.width) + " " + std::to_string(changed.x);
      const int left = std::max(changed.x, 0), top = std::max(changed.y, 0);
      const int right = std::min(changed.x + changed.width, l.remote.width);
      const int bottom = std::min(changed.y + changed.height, l.remote.height);
      if (left >= right || top >= bottom) {
        EXPECT_EQ(copy, ScaledCopy{}) << name << ": off the screen";
        continue;
      }
      // The grid: source and target edges in the whole picture's proportion.
      EXPECT_EQ(std::int64_t{copy.source.x} * t.width, std::int64_t{copy.target.x - t.x} * l.remote.width) << name;
      EXPECT_EQ(std::int64_t{copy.source.x + copy.source.width} * t.width,
                std::int64_t{copy.target.x + copy.target.width - t.x} * l.remote.width) << name;
      EXPECT_EQ(std::int64_t{copy.source.y + copy.source.height} * t.height,
                std::int64_t{copy.target.y + copy.target.height - t.y} * l.remote.height) << name;
      // Room for the smoothing where the screen has it.
      EXPECT_LE(copy.source.x, std::max(left - 2, 0)) << name;
      EXPECT_GE(copy.source.y + copy.source.height, std::min(bottom + 2, l.remote.height)) << name;
      // The clip covers where the change shows and stays in the target.
      const Rect shown = shownRect(layout, {left, top, right - left, bottom - top});
      EXPECT_LE(copy.clip.x, shown.x) << name;
      EXPECT_GE(copy.clip.y + copy.clip.height, shown.y + shown.height) << name;
      EXPECT_GE(copy.clip.x, copy.target.x) << name;
      EXPECT_LE(copy.clip.y + copy.clip.height, copy.target.y + copy.target.height) << name;
    }
    // The whole screen shows as the whole picture.
    EXPECT_EQ(shownRect(layout, {0, 0, l.remote.width, l.remote.height}), t);
  }
}

TEST(ViewLayout, TheFirstWindowIsTheRemoteSizeWhereThereIsRoom) {
  EXPECT_EQ(initialWindowSize({1024, 768}, {1920, 1050}, false), (ExtentI{1024, 768}));
  EXPECT_EQ(initialWindowSize({1024, 768}, {1366, 700}, false), (ExtentI{933, 700}));
  EXPECT_EQ(initialWindowSize({1024, 768}, {1366, 700}, true), (ExtentI{1024, 700}));
  EXPECT_EQ(initialWindowSize({1024, 768}, {0, 0}, false), (ExtentI{1024, 768}));  // the desktop did not say
}

}  // namespace
}  // namespace vantrel
