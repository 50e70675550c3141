// The X11 frame source against an Xvfb of the test's own.
#include "console/x11/screen_source_x11.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "console/area_scaler.h"
#include "tool/x_painter.h"
#include "tool/xvfb.h"

namespace vantrel::cli {
namespace {

using namespace std::chrono_literals;

// What the served screen should hold for a desktop picture: placed or scaled as the geometry
// says, with channels cut to what the screen's depth keeps.
RgbImage expected(const DesktopGeometry& g, RgbImage desktop, int bitsPerChannelGreen) {
  if (bitsPerChannelGreen < 8) {
    for (std::size_t i = 0; i < desktop.rgb.size(); ++i) {
      const int bits = i % 3 == 1 ? 6 : 5;
      const unsigned v = static_cast<unsigned>(desktop.rgb[i]) >> (8 - bits);
      desktop.rgb[i] = static_cast<std::uint8_t>((v << (8 - bits)) | (v >> (2 * bits - 8)));
    }
  }
  RgbImage out{g.screen().width, g.screen().height,
               std::vector<std::uint8_t>(static_cast<std::size_t>(g.screen().width * g.screen().height) * 3, 0)};
  const PixelRect p = g.picture();
  const auto stride = static_cast<std::size_t>(out.width) * 3;
  std::uint8_t* at = &out.rgb[static_cast<std::size_t>(p.y) * stride + static_cast<std::size_t>(p.x) * 3];
  if (g.scaled()) {
    AreaScaler(g.desktop(), {p.width, p.height})
        .scale(desktop.rgb.data(), static_cast<std::size_t>(desktop.width) * 3, at, stride, {0, 0, p.width, p.height});
  } else {
    for (int y = 0; y < desktop.height; ++y) {
      std::copy_n(&desktop.rgb[static_cast<std::size_t>(y * desktop.width) * 3], static_cast<std::size_t>(desktop.width) * 3,
                  at + static_cast<std::size_t>(y) * stride);
    }
  }
  return out;
}

TEST(X11ScreenSource, ServesTheDesktopPixelExactAndThenOnlyWhatChanged) {
  struct Case {
    const char* name;
    int width, height, depth;
    bool damage;
  };
  for (const Case& c : std::vector<Case>{
           {"24 bits, XDamage", 1024, 768, 24, true},
           {"24 bits, tiles compared", 1024, 768, 24, false},
           {"16 bits, at the top left of 800x600", 700, 500, 16, true},
           {"1920x1080 scaled into 1024x768", 1920, 1080, 24, true},
       }) {
    SCOPED_TRACE(c.name);
    test::Xvfb server(c.width, c.height, c.depth);
    ASSERT_TRUE(server.running());
    test::XPainter painter(server.name());
    ASSERT_TRUE(painter.ok());
    RgbImage desktop = test::testPicture(c.width, c.height, 1);
    painter.draw(0, 0, desktop);

    std::string error;
    auto source = X11ScreenSource::open({server.name(), std::nullopt, c.damage}, error);
    ASSERT_TRUE(source) << error;
    const DesktopGeometry& g = source->geometry();
    const int green = c.depth == 16 ? 6 : 8;
    EXPECT_EQ(source->frameAt(0ms).picture.rgb, expected(g, desktop, green).rgb);

    // An 8 x 8 change: the source says so of its own accord (where the server reports damage),
    // a small area is read again, and the served screen follows.
    std::mutex lock;
    std::condition_variable told;
    bool heard = false;
    source->watchChanges([&] {
      std::lock_guard guard(lock);
      heard = true;
      told.notify_all();
    });
    source->frameAt(0ms);
    const RgbImage patch = test::testPicture(8, 8, 99);
    painter.draw(300, 200, patch);
    if (c.damage) {
      std::unique_lock lk(lock);
      EXPECT_TRUE(told.wait_for(lk, 5s, [&] { return heard; }));
    }
    for (int y = 0; y < 8; ++y) {
      std::copy_n(&patch.rgb[static_cast<std::size_t>(y * 8) * 3], 24,
                  &desktop.rgb[static_cast<std::size_t>((200 + y) * c.width + 300) * 3]);
    }
    std::vector<ScreenFeed::Rect> changes;
    const RgbImage* frame = nullptr;
    for (int i = 0; i < 200 && changes.empty(); ++i) {
      const auto f = source->frameAt(0ms);
      frame = &f.picture;
      changes.assign(f.changed.begin(), f.changed.end());
      if (changes.empty()) std::this_thread::sleep_for(10ms);
    }
    ASSERT_FALSE(changes.empty());
    long long area = 0;
    for (const auto& r : changes) area += static_cast<long long>(r.width) * r.height;
    EXPECT_LE(area, 32 * 32 * 4) << "only the changed tiles or the damaged area";
    EXPECT_EQ(frame->rgb, expected(g, desktop, green).rgb);

    // Nothing drawn: nothing read, and nothing for the feed to compare.
    EXPECT_TRUE(source->frameAt(0ms).changed.empty());
    source->watchChanges(nullptr);

    // The server's cursor image, at the pointer (the middle of a fresh server) on the served screen.
    const auto cursor = source->cursor();
    ASSERT_TRUE(cursor);
    EXPECT_GT(cursor->sprite->width * cursor->sprite->height, 0);
    EXPECT_EQ(cursor->hot, g.toScreen({c.width / 2, c.height / 2}));
  }
}

}  // namespace
}  // namespace vantrel::cli
