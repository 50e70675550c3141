// The full-screen view of consoleclient.dll driven as a host drives it. Each group of cases
// belongs to one local screen size and runs on an Xvfb screen of that size
// (scripts/with-wine --screen WxH); told its size with --screen, the program reports itself
// skipped (77) on any other screen.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "dll_test.h"

namespace vantrel::wintest {
namespace {

using namespace std::chrono_literals;

class FullScreenTest : public DllTest {
 protected:
  FakeConsole console;
  HWND viewer = nullptr;

  void SetUp() override {
    DllTest::SetUp();
    ASSERT_TRUE(console.listening());
    // Away from where a centred viewer goes, so that no mouse move of the system's reaches it.
    SetCursorPos(0, GetSystemMetrics(SM_CYSCREEN) - 1);
  }

  // For a viewer that covers the screen: the system's mouse moves come from the middle.
  static void pointerToTheMiddle() {
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2);
  }

  // Logged in with the viewer in a 1000 x 700 area of the host, the remote screen announced
  // and one full frame of `pixel` drawn; `view` is the [VIEW] section of the host's
  // consoleclient.ini.
  void start(std::uint16_t width, std::uint16_t height, const std::string& view = "",
             const std::function<std::uint32_t(int, int)>& pixel = grey) {
    const std::string ini = iniDirectory("full-screen", "[VIEW]\n" + view);
    ASSERT_TRUE(dll.initial(ini.c_str(), host.get(), host.get(), 0, 0, 1000, 700, console.address().c_str(), 0,
                            "operator", "secret", 0, 0));
    runUntilLoggedIn(console);
    viewer = DllTest::viewer();
    ASSERT_NE(viewer, nullptr);
    serveFrame(console, width, height, pixel);
  }

  static std::uint32_t grey(int x, int y) { return static_cast<std::uint32_t>((x ^ y) & 0xFF) * 0x010101u; }

  void switchTo(bool full) {
    dll.wndFull(full ? 1 : 0);
    pumpFor(150ms);
  }

  HWND toolbar() const { return FindWindowExA(viewer, nullptr, "ConToolbar", nullptr); }
  bool toolbarShown() const { return IsWindowVisible(toolbar()) != FALSE; }

  void pointer(int x, int y) {
    SendMessageA(viewer, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
    pumpFor(20ms);
  }

  // The remote position of a click at client (x, y), as the console received it.
  std::pair<int, int> remoteOf(int x, int y) {
    SendMessageA(viewer, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    SendMessageA(viewer, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    // A request sent after it: once the console has that, it has the pointer's events too.
    const std::size_t marks = console.controls(14);
    dll.sendKeyEvent(0);
    if (!pumpUntil([&] { return console.controls(14) > marks; }, 2s)) return {-1, -1};
    const auto received = console.messages();
    for (auto it = received.rbegin(); it != received.rend(); ++it) {
      if (it->type == 2) return {it->word2, it->word4};
    }
    return {-1, -1};
  }

  // The scroll offsets, read back from the remote position of a click in the middle of the screen.
  std::pair<int, int> offsets() {
    const auto [x, y] = remoteOf(300, 300);
    return {x - 300, y - 300};
  }

  // The last four key events, as keysym and down.
  std::vector<std::pair<std::uint32_t, bool>> lastFourKeys() const {
    std::vector<std::pair<std::uint32_t, bool>> keys;
    for (const auto& m : console.messages()) {
      if (m.type == 1) keys.emplace_back(m.value, m.flag != 0);
    }
    if (keys.size() > 4) keys.erase(keys.begin(), keys.end() - 4);
    return keys;
  }
};

using Keys = std::vector<std::pair<std::uint32_t, bool>>;
using Offsets = std::pair<int, int>;

class Screen1024x768 : public FullScreenTest {};
class Screen800x600 : public FullScreenTest {};
class Screen1280x1024 : public FullScreenTest {};
class Screen1920x1080 : public FullScreenTest {};
class Screen1280x720 : public FullScreenTest {};

TEST_F(Screen1024x768, FullScreenTheToolbarAndItsButtons) {
  start(800, 600);
  EXPECT_EQ(toolbar(), nullptr) << "the toolbar comes with the first switch";

  switchTo(true);
  EXPECT_EQ(GetAncestor(viewer, GA_PARENT), GetDesktopWindow());
  char title[300] = {};
  GetWindowTextA(viewer, title, sizeof title);
  EXPECT_EQ(std::string(title), "Vantrel 1.3 - Remote Console (" + console.address() + ")");
  EXPECT_FALSE(IsWindowVisible(host.get()));
  EXPECT_EQ(dll.isRunning(), 1);
  // Centred with a border; the toolbar at the top centre of it.
  EXPECT_EQ(where(viewer), "112,84 802x602");
  const HWND bar = toolbar();
  ASSERT_NE(bar, nullptr);
  EXPECT_TRUE(toolbarShown());
  EXPECT_EQ(where(bar, viewer), "88,0 625x36");

  // Each button shows its face: light blue at the top of every button. Held down, it shows its
  // pressed face, sunk in a dark frame; "Virtual Device" has one face for both.
  UpdateWindow(bar);
  HDC screen = GetDC(nullptr);
  for (int button = 0; button < 7; ++button) {
    const COLORREF c = GetPixel(screen, 113 + 88 + 1 + 89 * button + 44, 85 + 4);
    EXPECT_TRUE(GetBValue(c) > 200 && GetBValue(c) > GetRValue(c)) << "button " << button + 1 << ": " << c;
  }
  ReleaseDC(nullptr, screen);
  const auto edge = [&](int id, bool held) {
    const HWND button = GetDlgItem(bar, id);
    SendMessageA(button, BM_SETSTATE, held ? TRUE : FALSE, 0);
    UpdateWindow(button);
    HDC dc = GetDC(button);
    const COLORREF c = GetPixel(dc, 1, 18);  // the frame's inner column, half-way down
    ReleaseDC(button, dc);
    return GetRValue(c) < 0x40 ? "dark" : GetRValue(c) > 0xC0 ? "light" : "other";
  };
  for (int id = 1; id <= 7; ++id) {
    EXPECT_STREQ(edge(id, true), id == 6 ? "light" : "dark") << "button " << id << " held";
    EXPECT_STREQ(edge(id, false), "light") << "button " << id << " let go";
  }

  // The top rows drop it in within its span only (from the screen's x 201); below, it goes.
  const struct {
    int x, y;
    bool shown;
  } moves[]{{400, 300, false}, {400, 5, true}, {400, 300, false}, {40, 5, false}, {400, 5, true}};
  for (const auto& m : moves) {
    pointer(m.x, m.y);
    EXPECT_EQ(toolbarShown(), m.shown) << m.x << "," << m.y;
  }

  const auto click = [&](int id) {
    SendMessageA(GetDlgItem(bar, id), BM_CLICK, 0, 0);
    pumpFor(100ms);
  };
  click(2);
  EXPECT_TRUE(pumpUntil([&] { return lastFourKeys() == Keys{{0xFFE3, 1}, {0x20, 1}, {0x20, 0}, {0xFFE3, 0}}; }));
  EXPECT_EQ(GetFocus(), viewer);
  click(3);
  EXPECT_TRUE(pumpUntil([&] { return lastFourKeys() == Keys{{0xFFE9, 1}, {0xFFC1, 1}, {0xFFC1, 0}, {0xFFE9, 0}}; }));
  click(1);
  click(4);
  EXPECT_TRUE(pumpUntil([&] { return console.controls(14) == 1 && console.controls(15) == 1; }));

  // "Virtual Device" does nothing at all, not even move the focus.
  SetFocus(viewer);
  const std::size_t sent = console.messages().size();
  SendMessageA(bar, WM_COMMAND, MAKEWPARAM(6, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(bar, 6)));
  pumpFor(100ms);
  EXPECT_EQ(console.messages().size(), sent);
  EXPECT_EQ(GetFocus(), viewer);

  click(5);
  EXPECT_EQ(dll.isRunning(), 2);

  // "Window/Full": back in the host, which is shown at the top left of the work area; the
  // viewer centred across the host's 1024 x 768 and below its top 25 rows, two rows taller.
  click(7);
  EXPECT_EQ(dll.isRunning(), 4);
  EXPECT_EQ(GetParent(viewer), host.get());
  EXPECT_TRUE(IsWindowVisible(host.get()));
  EXPECT_FALSE(toolbarShown());
  RECT work{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_EQ(where(host.get()), "0," + std::to_string(work.top) + " 1024x768");
  EXPECT_EQ(where(viewer, host.get()), "112,96 800x602");

  // Again: the same toolbar is shown, not a new one; and ClientWndFull(0) returns to the host.
  switchTo(true);
  EXPECT_EQ(toolbar(), bar);
  EXPECT_TRUE(toolbarShown());
  EXPECT_EQ(dll.isRunning(), 1);
  switchTo(false);
  EXPECT_EQ(GetParent(viewer), host.get());
  EXPECT_TRUE(IsWindowVisible(host.get()));
  EXPECT_FALSE(toolbarShown());
}

// Pausing and resuming leave the full-screen view whole, and a new remote size in it is fitted
// as full screen: border or none, the centre, the toolbar centred again.
TEST_F(Screen1024x768, ANewSizeInFullScreenIsFittedThereAlsoAfterAResume) {
  start(800, 600);
  switchTo(true);
  EXPECT_TRUE(dll.pause());
  EXPECT_EQ(dll.run(), 1);
  const auto resize = [&](std::uint16_t width, std::uint16_t height) {
    const std::size_t acknowledged = console.acknowledgements();
    ASSERT_TRUE(console.sendScreenFormat(width, height));
    ASSERT_TRUE(console.sendScreenUpdate(0, 0, width, height, [](int x, int) { return x % 2 ? 0xFFFFFFu : 0u; }));
    ASSERT_TRUE(pumpUntil([&] { return console.acknowledgements() >= acknowledged + 2; }));
    pumpFor(100ms);
  };
  const struct { std::uint16_t width, height; const char* placed; bool border; const char* toolbar; } sizes[]{
      {1024, 768, "0,0 1024x768", false, "199,0 625x36"}, {800, 600, "112,84 802x602", true, "88,0 625x36"}};
  for (const auto& size : sizes) {
    resize(size.width, size.height);
    EXPECT_EQ(where(viewer), size.placed);
    EXPECT_EQ(GetAncestor(viewer, GA_PARENT), GetDesktopWindow());
    EXPECT_FALSE(IsWindowVisible(host.get()));
    const LONG_PTR style = GetWindowLongPtrA(viewer, GWL_STYLE);
    EXPECT_EQ((style & WS_BORDER) != 0, size.border) << size.placed;
    EXPECT_EQ(style & (WS_CHILD | WS_HSCROLL | WS_VSCROLL), 0) << size.placed;
    EXPECT_EQ(where(toolbar(), viewer), size.toolbar);
  }
  // Still full screen as far as the edges are concerned: the top drops the toolbar in.
  pointer(400, 5);
  EXPECT_TRUE(toolbarShown());
}

// The host's window holds the viewer's parent as a child of its own: the full-screen view hides
// and shows the host's top-level window, and "Window/Full" moves that one.
TEST_F(Screen1024x768, AParentInsideTheHostsWindowHidesAndShowsTheWholeHost) {
  const HWND inner = CreateWindowExA(0, "VantrelTestHost", "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 10, 40, 1000,
                                     700, host.get(), nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(inner, nullptr);
  const std::string ini = iniDirectory("full-screen", "");
  ASSERT_TRUE(dll.initial(ini.c_str(), inner, host.get(), 0, 0, 990, 690, console.address().c_str(), 0, "operator",
                          "secret", 0, 0));
  runUntilLoggedIn(console);
  viewer = FindWindowExA(inner, nullptr, "Vantrel", nullptr);
  ASSERT_NE(viewer, nullptr);
  serveFrame(console, 800, 600, [](int, int) { return 0x336699u; });
  SetWindowPos(host.get(), nullptr, 0, 300, 0, 0, SWP_NOSIZE | SWP_NOZORDER);

  switchTo(true);
  EXPECT_FALSE(IsWindowVisible(host.get()));
  EXPECT_EQ(GetAncestor(viewer, GA_PARENT), GetDesktopWindow());
  ASSERT_NE(toolbar(), nullptr);
  SendMessageA(GetDlgItem(toolbar(), 7), BM_CLICK, 0, 0);
  pumpFor(150ms);
  EXPECT_EQ(dll.isRunning(), 4);
  EXPECT_EQ(GetParent(viewer), inner);
  EXPECT_TRUE(IsWindowVisible(host.get()));
  RECT work{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_EQ(where(host.get()), "0," + std::to_string(work.top) + " 1024x768");
  // Centred in the inner window's 1000 x 700, below its top 25 rows.
  EXPECT_EQ(where(viewer, inner), "100,62 800x602");
  DestroyWindow(inner);
}

TEST_F(Screen1024x768, EnteringReturnsToTheOrigin) {
  pointerToTheMiddle();
  start(1024, 768);
  SendMessageA(viewer, WM_VSCROLL, SB_PAGEDOWN, 0);
  SendMessageA(viewer, WM_HSCROLL, SB_LINERIGHT, 0);
  ASSERT_NE(offsets(), Offsets(0, 0));
  switchTo(true);
  EXPECT_EQ(offsets(), Offsets(0, 0));
  EXPECT_EQ(where(viewer), "0,0 1024x768");
  // No border, and no scroll bar left from the windowed view's ranges: all of the screen shows.
  EXPECT_EQ(GetWindowLongPtrA(viewer, GWL_STYLE) & (WS_BORDER | WS_HSCROLL | WS_VSCROLL), 0);
  RECT client{};
  GetClientRect(viewer, &client);
  EXPECT_EQ(client.right * 10000 + client.bottom, 1024 * 10000 + 768);
}

TEST_F(Screen800x600, EdgesScrollALargerRemoteScreenToItsLimits) {
  pointerToTheMiddle();
  start(1024, 768);
  switchTo(true);
  // The system cuts a top-level window larger than the screen to the screen and its frame.
  EXPECT_EQ(where(viewer).substr(0, 4), "0,0 ");
  const struct {
    int x, y;
    Offsets then;
  } moves[]{
      {795, 300, {224, 0}},    // right band
      {400, 595, {224, 168}},  // bottom band
      {3, 5, {0, 0}},          // the top band left of x = 5, also the left band's top
      {3, 597, {0, 168}},      // the bottom-left corner scrolls down and left
      {795, 300, {224, 168}},  // and the right band right again
  };
  for (const auto& m : moves) {
    pointer(m.x, m.y);
    EXPECT_EQ(offsets(), m.then) << m.x << "," << m.y;
  }

  // Back in the host's window the offsets are pulled back inside the view's limits, and what
  // stays scrolled has its bar to scroll it back: the host's 1024 x 768 window takes the
  // viewer across its whole width and below its top 25 rows, with the vertical bar.
  switchTo(false);
  EXPECT_EQ(GetParent(viewer), host.get());
  RECT client{};
  GetClientRect(viewer, &client);
  const LONG_PTR style = GetWindowLongPtrA(viewer, GWL_STYLE);
  EXPECT_NE(style & WS_VSCROLL, 0);
  const Offsets back = offsets();
  EXPECT_EQ(back.second, std::min(168, 768 - static_cast<int>(client.bottom)));
  EXPECT_EQ(GetScrollPos(viewer, SB_VERT), back.second);
  EXPECT_EQ(back.first, (style & WS_HSCROLL) != 0 ? std::min(224, 1024 - static_cast<int>(client.right)) : 0);
}

TEST_F(Screen1280x1024, OtherScreensAreRefusedAtEachChangeOfSize) {
  start(800, 600);
  const auto seen = boxes.boxes();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, "The current resolution is not supported, please change to 800X600 or 1024X768.");
  EXPECT_EQ(seen[0].caption, "Vantrel");
  EXPECT_EQ(dll.isRunning(), 2);
  EXPECT_NE(where(viewer, host.get()), "100,50 800x602") << "fitted";
  ASSERT_TRUE(console.sendScreenFormat(1024, 768));
  EXPECT_TRUE(pumpUntil([&] { return boxes.count() == 2; }));
}

TEST_F(Screen1920x1080, WithTheSwitchALargerScreenCentresTheRemoteOne) {
  start(1024, 768, "AnyLocalScreen=1\n");
  EXPECT_EQ(boxes.count(), 0u);
  EXPECT_EQ(where(viewer, host.get()), "0,0 1000x702");
  switchTo(true);
  EXPECT_EQ(where(viewer), "448,156 1026x770");
  // Without ScaleToFit the picture is 1:1.
  const Capture shot = capture(viewer);
  for (const auto& [x, y] : {std::pair{0, 0}, {517, 301}, {1023, 767}}) EXPECT_EQ(shot.at(x, y), grey(x, y));
  pointer(500, 5);
  EXPECT_TRUE(toolbarShown());

  // Ending the session in full screen gives the host its window back.
  dll.exit();
  EXPECT_TRUE(IsWindowVisible(host.get()));
}

TEST_F(Screen1280x720, WithTheSwitchALowerScreenScrollsByItsOwnHeight) {
  pointerToTheMiddle();
  start(1024, 768, "AnyLocalScreen=1\n");
  EXPECT_EQ(boxes.count(), 0u);
  switchTo(true);
  EXPECT_EQ(where(viewer).substr(0, 10), "128,0 1024");
  pointer(500, 715);  // bottom band
  EXPECT_EQ(offsets(), Offsets(0, 48));
  pointer(500, 3);  // the top band scrolls back up; the toolbar waits for the top
  EXPECT_FALSE(toolbarShown());
  EXPECT_EQ(offsets(), Offsets(0, 0));
  pointer(500, 3);
  EXPECT_TRUE(toolbarShown());
}

// The scaled view's picture: tiles of 64 x 64 remote pixels, each of its own colour.
std::uint32_t tile(int x, int y) {
  const auto tx = static_cast<std::uint32_t>(x / 64), ty = static_cast<std::uint32_t>(y / 64);
  return (tx * 15 + 10) << 16 | (ty * 20 + 10) << 8 | ((tx + ty) * 37 & 0xFF);
}

// How many tiles of the capture differ from the served ones: each tile's middle half, where
// the picture `target` (x, y, width, height) puts it, averaged, within a few steps of its colour.
int tilesAmiss(const Capture& shot, int tx0, int ty0, int tw, int th, std::uint16_t width, std::uint16_t height,
               const std::function<std::uint32_t(int, int)>& served = tile) {
  int amiss = 0;
  for (int y0 = 0; y0 < height; y0 += 64) {
    for (int x0 = 0; x0 < width; x0 += 64) {
      const int left = tx0 + (x0 + 16) * tw / width, right = tx0 + (x0 + 48) * tw / width;
      const int top = ty0 + (y0 + 16) * th / height, bottom = ty0 + (y0 + 48) * th / height;
      long sum[3] = {};
      long count = 0;
      for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x, ++count) {
          for (int c = 0; c < 3; ++c) sum[c] += static_cast<long>(shot.at(x, y) >> (8 * c) & 0xFF);
        }
      }
      const std::uint32_t want = served(x0 + 32, y0 + 32);
      for (int c = 0; c < 3; ++c) {
        if (count == 0 || std::abs(sum[c] / count - static_cast<long>(want >> (8 * c) & 0xFF)) > 4) {
          ++amiss;
          break;
        }
      }
    }
  }
  return amiss;
}

constexpr const char* kScaled = "AnyLocalScreen=1\nScaleToFit=1\n";

// With ScaleToFit the remote screen is scaled down into an area too small for it, without
// scroll bars, and fills the screen in full screen, in black bars; the pointer maps back
// corner to corner; a changed rectangle shows scaled where the picture has it.
TEST_F(Screen1920x1080, ScaledIntoTheAreaAndOntoTheScreen) {
  pointerToTheMiddle();
  start(1024, 768, kScaled, tile);
  EXPECT_EQ(where(viewer, host.get()), "0,0 1000x702");
  EXPECT_EQ(GetWindowLongPtrA(viewer, GWL_STYLE) & (WS_HSCROLL | WS_VSCROLL), 0);
  Capture shot = capture(viewer);
  keepShot(shot, "scaled-windowed-1920x1080");
  // 1000 x 702 holds 936 x 702 of the 4:3 picture, from x 32.
  EXPECT_EQ(tilesAmiss(shot, 32, 0, 936, 702, 1024, 768), 0);
  EXPECT_EQ(shot.at(10, 350) | shot.at(990, 350), 0u) << "the bars either side";
  EXPECT_EQ(remoteOf(32, 0), Offsets(0, 0));
  EXPECT_EQ(remoteOf(967, 701), Offsets(1023, 767));

  switchTo(true);
  EXPECT_EQ(where(viewer), "0,0 1920x1080");
  EXPECT_EQ(GetWindowLongPtrA(viewer, GWL_STYLE) & (WS_BORDER | WS_HSCROLL | WS_VSCROLL), 0);
  shot = capture(viewer);
  keepShot(shot, "scaled-full-screen-1920x1080");
  EXPECT_EQ(tilesAmiss(shot, 240, 0, 1440, 1080, 1024, 768), 0);
  EXPECT_EQ(shot.at(120, 540), 0u) << "the bar left of the picture";
  EXPECT_EQ(shot.at(1800, 540), 0u) << "the bar right of it";
  EXPECT_EQ(remoteOf(0, 0), Offsets(0, 0));
  EXPECT_EQ(remoteOf(1919, 1079), Offsets(1023, 767));
  EXPECT_EQ(remoteOf(1919, 0), Offsets(1023, 0));

  // One tile's worth changed: only the picture's part of it is redrawn, scaled and in place.
  const auto changed = [](int x, int y) { return x >= 512 && x < 576 && y >= 384 && y < 448 ? 0x20E040u : tile(x, y); };
  const std::size_t acknowledged = console.acknowledgements();
  ASSERT_TRUE(console.sendScreenUpdate(512, 384, 64, 64, [&](int x, int y) { return changed(x + 512, y + 384) ^ tile(x + 512, y + 384); }));
  ASSERT_TRUE(pumpUntil([&] { return console.acknowledgements() > acknowledged; }));
  pumpFor(100ms);
  shot = capture(viewer);
  keepShot(shot, "scaled-update-1920x1080");
  EXPECT_EQ(tilesAmiss(shot, 240, 0, 1440, 1080, 1024, 768, changed), 0);
  pointer(960, 3);
  EXPECT_TRUE(toolbarShown());
}

TEST_F(Screen1280x720, ScaledOntoALowerScreenNeverScrolls) {
  pointerToTheMiddle();
  start(1024, 768, kScaled, tile);
  switchTo(true);
  EXPECT_EQ(where(viewer), "0,0 1280x720");
  const Capture shot = capture(viewer);
  keepShot(shot, "scaled-full-screen-1280x720");
  // 960 x 720 from x 160.
  EXPECT_EQ(tilesAmiss(shot, 160, 0, 960, 720, 1024, 768), 0);
  pointer(640, 715);  // the bottom band scrolls nothing: all of it is seen
  EXPECT_EQ(remoteOf(640, 360), Offsets(512, 384));
  EXPECT_EQ(remoteOf(0, 719), Offsets(0, 767));
  EXPECT_EQ(remoteOf(1279, 0), Offsets(1023, 0));
}

}  // namespace
}  // namespace vantrel::wintest

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  std::string wanted;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--screen") wanted = argv[i + 1];
  }
  const std::string actual =
      std::to_string(GetSystemMetrics(SM_CXSCREEN)) + "x" + std::to_string(GetSystemMetrics(SM_CYSCREEN));
  if (!wanted.empty() && wanted != actual) {
    std::printf("full_screen_tests: the screen is %s, not %s: skipped\n", actual.c_str(), wanted.c_str());
    return 77;
  }
  return RUN_ALL_TESTS();
}
