#include "console/desktop_geometry.h"

#include <gtest/gtest.h>

namespace vantrel::cli {
namespace {

TEST(DesktopGeometry, ChoosesTheServedScreenAndThePicturesPlace) {
  struct Case {
    ScreenSize desktop;
    std::optional<ScreenSize> requested;
    ScreenSize screen;
    PixelRect picture;
  };
  for (const Case& c : std::vector<Case>{
           {{1024, 768}, {}, {1024, 768}, {0, 0, 1024, 768}},
           {{800, 600}, {}, {800, 600}, {0, 0, 800, 600}},
           {{700, 500}, {}, {800, 600}, {0, 0, 700, 500}},         // top left of the smallest that holds it
           {{1920, 1080}, {}, {1024, 768}, {0, 96, 1024, 576}},    // wide: bars above and below
           {{1280, 1024}, {}, {1024, 768}, {32, 0, 960, 768}},     // tall: bars left and right
           {{1920, 1080}, ScreenSize{640, 480}, {640, 480}, {0, 60, 640, 360}},
           {{640, 480}, ScreenSize{1024, 768}, {1024, 768}, {0, 0, 640, 480}},
       }) {
    const auto g = DesktopGeometry::choose(c.desktop, c.requested);
    EXPECT_EQ(g.screen(), c.screen) << c.desktop.width << "x" << c.desktop.height;
    EXPECT_EQ(g.picture(), c.picture) << c.desktop.width << "x" << c.desktop.height;
  }
}

TEST(DesktopGeometry, PointerCornersRoundTripExactly) {
  for (const ScreenSize desktop : {ScreenSize{1920, 1080}, ScreenSize{1280, 1024}, ScreenSize{1024, 768},
                                   ScreenSize{700, 500}, ScreenSize{3840, 2160}}) {
    const auto g = DesktopGeometry::choose(desktop);
    const int right = desktop.width - 1, bottom = desktop.height - 1;
    for (const ScreenPoint corner : {ScreenPoint{0, 0}, ScreenPoint{right, 0}, ScreenPoint{0, bottom},
                                     ScreenPoint{right, bottom}}) {
      const ScreenPoint served = g.toScreen(corner);
      EXPECT_EQ(g.toDesktop(served), corner) << desktop.width << "x" << desktop.height;
    }
    // The served picture's own corners, and the bars beyond them, reach the desktop's corners.
    const PixelRect p = g.picture();
    EXPECT_EQ(g.toDesktop({p.x, p.y}), (ScreenPoint{0, 0}));
    EXPECT_EQ(g.toDesktop({p.x + p.width - 1, p.y + p.height - 1}), (ScreenPoint{right, bottom}));
    EXPECT_EQ(g.toDesktop({0, 0}), (ScreenPoint{0, 0}));
    EXPECT_EQ(g.toDesktop({g.screen().width - 1, g.screen().height - 1}), (ScreenPoint{right, bottom}));
  }
}

TEST(DesktopGeometry, EveryDesktopPixelMapsBackIntoTheServedPixelShowingIt) {
  const auto g = DesktopGeometry::choose({1920, 1080});
  for (int x = 0; x < 1920; ++x) {
    const ScreenPoint served = g.toScreen({x, 0});
    const ScreenPoint back = g.toScreen(g.toDesktop(served));
    ASSERT_EQ(back, served) << x;
  }
}

}  // namespace
}  // namespace vantrel::cli
