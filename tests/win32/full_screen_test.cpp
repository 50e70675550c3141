// The full-screen view of consoleclient.dll driven as a host drives it. Each group of cases
// belongs to one local screen size and runs on an Xvfb screen of that size
// (scripts/with-wine --screen WxH); told its size with --screen, the program reports itself
// skipped (77) on any other screen.

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
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
  // and one full frame drawn; with `anyScreen` the host's consoleclient.ini has
  // AnyLocalScreen=1.
  void start(std::uint16_t width, std::uint16_t height, bool anyScreen = false) {
    const std::string ini = anyScreen ? iniDirectory("full-screen-any", "[VIEW]\nAnyLocalScreen=1\n")
                                      : iniDirectory("full-screen", "");
    ASSERT_TRUE(dll.initial(ini.c_str(), host.get(), host.get(), 0, 0, 1000, 700, console.address().c_str(), 0,
                            "operator", "secret", 0, 0));
    runUntilLoggedIn(console);
    viewer = DllTest::viewer();
    ASSERT_NE(viewer, nullptr);
    serveFrame(console, width, height,
               [](int x, int y) { return static_cast<std::uint32_t>((x ^ y) & 0xFF) * 0x010101u; });
  }

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

  // The scroll offsets, read back from the remote position of a pointer in the middle of the
  // screen (a new position each time, so that each move is reported).
  std::pair<int, int> offsets() {
    const int x = 300 + probes_++, y = 300;
    SendMessageA(viewer, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
    // A request sent after it: once the console has that, it has the pointer's event too.
    const std::size_t marks = console.controls(14);
    dll.sendKeyEvent(0);
    if (!pumpUntil([&] { return console.controls(14) > marks; }, 2s)) return {-1, -1};
    const auto received = console.messages();
    for (auto it = received.rbegin(); it != received.rend(); ++it) {
      if (it->type == 2) return {it->word2 - x, it->word4 - y};
    }
    return {-1, -1};
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

 private:
  int probes_ = 0;
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

  // Each button shows its face: light blue at the top of every button.
  UpdateWindow(bar);
  HDC screen = GetDC(nullptr);
  for (int button = 0; button < 7; ++button) {
    const COLORREF c = GetPixel(screen, 113 + 88 + 1 + 89 * button + 44, 85 + 4);
    EXPECT_TRUE(GetBValue(c) > 200 && GetBValue(c) > GetRValue(c)) << "button " << button + 1 << ": " << c;
  }
  ReleaseDC(nullptr, screen);

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

TEST_F(Screen1024x768, EnteringReturnsToTheOrigin) {
  pointerToTheMiddle();
  start(1024, 768);
  SendMessageA(viewer, WM_VSCROLL, SB_PAGEDOWN, 0);
  SendMessageA(viewer, WM_HSCROLL, SB_LINERIGHT, 0);
  ASSERT_NE(offsets(), Offsets(0, 0));
  switchTo(true);
  EXPECT_EQ(offsets(), Offsets(0, 0));
  EXPECT_EQ(where(viewer), "0,0 1024x768");
  EXPECT_EQ(GetWindowLongPtrA(viewer, GWL_STYLE) & WS_BORDER, 0);
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
  };
  for (const auto& m : moves) {
    pointer(m.x, m.y);
    EXPECT_EQ(offsets(), m.then) << m.x << "," << m.y;
  }
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
  start(1024, 768, true);
  EXPECT_EQ(boxes.count(), 0u);
  EXPECT_EQ(where(viewer, host.get()), "0,0 1000x702");
  switchTo(true);
  EXPECT_EQ(where(viewer), "448,156 1026x770");
  pointer(500, 5);
  EXPECT_TRUE(toolbarShown());

  // Ending the session in full screen gives the host its window back.
  dll.exit();
  EXPECT_TRUE(IsWindowVisible(host.get()));
}

TEST_F(Screen1280x720, WithTheSwitchALowerScreenScrollsByItsOwnHeight) {
  pointerToTheMiddle();
  start(1024, 768, true);
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
