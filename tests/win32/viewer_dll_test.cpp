// consoleclient.dll driven as a host drives it, against an in-process console.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "api/consoleclient.h"
#include "dll_test.h"

namespace vantrel::wintest {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::uint32_t pattern(int x, int y) {
  return static_cast<std::uint32_t>((x * 7) & 0xFF) << 16 | static_cast<std::uint32_t>((y * 5) & 0xFF) << 8 |
         static_cast<std::uint32_t>((x + y) & 0xFF);
}

// The host's catalogue, with texts that say which key and language they are.
std::string catalogueDirectory() {
  static const std::string dir = [] {
    std::string ini = "[MESSAGEBOX]\n";
    for (const std::string key : {"ConnectServerFailed", "ThreeTimeFailed", "LoginFailed", "ServerCutConnect"}) {
      ini += key + "_en=" + key + " in English\\nsecond line\n" + key + "_jp=" + key + " jp\n";
    }
    return iniDirectory("dll-test", ini);
  }();
  return dir;
}

struct Area {
  int left = 0, top = 0, width = 1000, height = 700;
};

class ViewerDllTest : public DllTest {
 protected:
  bool initial(const std::string& address, Area area = {}, unsigned language = 0) {
    return dll.initial(catalogueDirectory().c_str(), host.get(), nullptr, area.left, area.top, area.width, area.height,
                       address.c_str(), 0, "operator", "secret", 0, language);
  }

  // Logged in, the remote screen announced and one full frame drawn.
  void startWithFrame(FakeConsole& console, Area area, std::uint16_t width, std::uint16_t height) {
    ASSERT_TRUE(console.listening());
    ASSERT_TRUE(initial(console.address(), area));
    runUntilLoggedIn(console);
    serveFrame(console, width, height, pattern);
  }

  std::size_t pointerEvents(const FakeConsole& console) const {
    return console.count([](const ViewerMessage& m) { return m.type == 2; });
  }
};

// How many visible pixels of the remote screen differ from the served frame seen through the
// scroll offset.
int mismatches(HWND window, int remoteWidth, int remoteHeight, int scrollX, int scrollY, int& compared) {
  const Capture shot = capture(window);
  const int width = shot.width, height = shot.height;
  const auto& pixels = shot.pixels;
  int wrong = 0;
  compared = 0;
  for (int y = 0; y < std::min(height, remoteHeight - scrollY); ++y) {
    for (int x = 0; x < std::min(width, remoteWidth - scrollX); ++x) {
      ++compared;
      const std::uint32_t got = pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] & 0xFFFFFF;
      if (got != pattern(x + scrollX, y + scrollY)) ++wrong;
    }
  }
  return wrong;
}

TEST_F(ViewerDllTest, ExportsAreReachableByNameAndByOrdinal) {
  const char* names[] = {"ClientIsRunning", "ClientInitial", "ClientRun", "ClientPause", "ClientSendKeyEvent",
                         "ClientExit", "ClientActive", "ClientIsMsgShow", "ClientWndFull"};
  for (int ordinal = 1; ordinal <= 9; ++ordinal) {
    const auto byName = GetProcAddress(dll.module, names[ordinal - 1]);
    EXPECT_NE(byName, nullptr) << names[ordinal - 1];
    EXPECT_EQ(byName, GetProcAddress(dll.module, MAKEINTRESOURCEA(ordinal))) << names[ordinal - 1];
  }
  char caption[64] = {};
  EXPECT_GT(LoadStringA(dll.module, 3001, caption, sizeof caption), 0);
  EXPECT_STREQ(caption, "Vantrel");
  char text[256] = {};
  LoadStringA(dll.module, 3013, text, sizeof text);
  EXPECT_STREQ(text, "Connection broken detected. If the problem persists, contact your administrator. \n"
                     "Click OK to return to logon page!");
  EXPECT_EQ(LoadStringA(dll.module, 3012, text, sizeof text), 0);
  EXPECT_NE(LoadImageA(dll.module, MAKEINTRESOURCEA(1060), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE), nullptr);
  EXPECT_NE(LoadImageA(dll.module, MAKEINTRESOURCEA(1002), IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE), nullptr);
}

TEST_F(ViewerDllTest, ShowsTheServedFrameCentredInALargerArea) {
  FakeConsole console;
  startWithFrame(console, Area{0, 20, 1000, 700}, 800, 600);
  const HWND window = viewer();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(dll.isRunning(), 1);
  // What a host measuring the session reads: the updates drawn so far.
  EXPECT_EQ(SendMessageA(window, RegisterWindowMessageA(CONSOLECLIENT_UPDATES_DRAWN_MESSAGE), 0, 0), 1);

  // The surface's depth went out first, from the window's creation.
  const auto first = console.messages().front();
  EXPECT_EQ(first.type, 3);
  EXPECT_EQ(first.word2, 18);
  EXPECT_TRUE(first.value == 16 || first.value == 24 || first.value == 32) << first.value;

  // 800 x 600 inside 1000 x 700: centred across from 0, down from areaTop; two rows taller.
  EXPECT_EQ(where(window, host.get()), "100,70 800x602");

  // A view that fits has no scroll bar, not even one for a pixel of scrolling: the whole frame
  // is seen, every pixel of it where it belongs.
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 800);
  EXPECT_EQ(client.bottom, 602);
  EXPECT_EQ(GetWindowLongPtrA(window, GWL_STYLE) & (WS_HSCROLL | WS_VSCROLL), 0);
  int compared = 0;
  EXPECT_EQ(mismatches(window, 800, 600, 0, 0, compared), 0);
  EXPECT_EQ(compared, 800 * 600);

  int closed = -1;
  EXPECT_FALSE(dll.isMsgShow(&closed));
  EXPECT_EQ(closed, 0);

  const auto start = Clock::now();
  EXPECT_TRUE(dll.exit());
  const auto took = Clock::now() - start;
  EXPECT_GE(took, 500ms);
  EXPECT_LT(took, 5s);
  EXPECT_FALSE(IsWindow(window));
  // Keys still held on the server are let go as the session ends.
  EXPECT_TRUE(pumpUntil([&] {
    return console.count([](const ViewerMessage& m) { return m.type == 1 && m.value == 0xFFFFFFFF && m.flag == 0; }) == 1;
  }));
}

TEST_F(ViewerDllTest, LargerRemoteIsCappedToTheAreaScrollsAndOffsetsPointerEvents) {
  FakeConsole console;
  startWithFrame(console, Area{0, 30, 1000, 700}, 1024, 768);
  const HWND window = viewer();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(where(window, host.get()), "0,30 1000x702");

  RECT client{};
  GetClientRect(window, &client);
  const int viewHeight = std::min<int>(client.bottom, 768), viewWidth = std::min<int>(client.right, 1024);
  SendMessageA(window, WM_VSCROLL, SB_PAGEDOWN, 0);
  SendMessageA(window, WM_HSCROLL, SB_LINERIGHT, 0);
  // A page is a quarter of the view, cut at the range less the view.
  const int scrollY = std::min(viewHeight / 4, 768 - viewHeight), scrollX = 2;
  ASSERT_GT(scrollY, 0);
  EXPECT_EQ(GetScrollPos(window, SB_VERT), scrollY);
  EXPECT_EQ(GetScrollPos(window, SB_HORZ), scrollX);
  pumpFor(100ms);
  int compared = 0;
  EXPECT_EQ(mismatches(window, 1024, 768, scrollX, scrollY, compared), 0) << "after scrolling to " << scrollX << "," << scrollY;

  // Pointer events carry the scroll offset; an unchanged position and mask sends nothing.
  const std::size_t before = pointerEvents(console);
  SendMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
  SendMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
  SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
  SendMessageA(window, WM_RBUTTONDOWN, MK_LBUTTON | MK_RBUTTON, MAKELPARAM(10, 10));
  SendMessageA(window, WM_LBUTTONUP, MK_RBUTTON, MAKELPARAM(10, 10));
  SendMessageA(window, WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(40, 40));
  SendMessageA(window, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), MAKELPARAM(40, 40));
  ASSERT_TRUE(pumpUntil([&] { return pointerEvents(console) >= before + 4; }));
  pumpFor(100ms);
  std::vector<ViewerMessage> pointer;
  for (const auto& m : console.messages()) {
    if (m.type == 2) pointer.push_back(m);
  }
  ASSERT_EQ(pointer.size(), before + 4);
  const std::uint8_t masks[] = {0, 1, 5, 4};
  for (std::size_t i = 0; i < 4; ++i) {
    const auto& m = pointer[before + i];
    EXPECT_EQ(m.word2, 10 + scrollX) << i;
    EXPECT_EQ(m.word4, 10 + scrollY) << i;
    EXPECT_EQ(m.flag, masks[i]) << i;
  }

  // Requests beyond the limits stop at them; the thumb goes where it is dragged.
  for (int i = 0; i < 10; ++i) SendMessageA(window, WM_VSCROLL, SB_PAGEDOWN, 0);
  EXPECT_EQ(GetScrollPos(window, SB_VERT), 768 - viewHeight);
  SendMessageA(window, WM_HSCROLL, MAKEWPARAM(SB_THUMBTRACK, 500), 0);
  EXPECT_EQ(GetScrollPos(window, SB_HORZ), std::min(500, 1024 - viewWidth));
  SendMessageA(window, WM_HSCROLL, SB_PAGEUP, 0);
  EXPECT_EQ(GetScrollPos(window, SB_HORZ), std::max(0, std::min(500, 1024 - viewWidth) - viewWidth / 4));
}

TEST_F(ViewerDllTest, PlacementForTheOtherRemoteAndAreaPairs) {
  const struct {
    Area area;
    std::uint16_t width, height;
    const char* expected;  // in the host's client area
  } cases[]{
      // 800 x 600 in a smaller area: capped across; the height comes from the host window (768
      // high, less 25), which is more than 600, so the remote height it is.
      {{0, 10, 700, 500}, 800, 600, "0,10 700x600"},
      // 1024 x 768 in a larger area: centred, and two rows taller.
      {{0, 0, 1030, 780}, 1024, 768, "3,6 1024x770"},
  };
  for (const auto& c : cases) {
    FakeConsole console;
    startWithFrame(console, c.area, c.width, c.height);
    EXPECT_EQ(where(viewer(), host.get()), c.expected) << c.width;
    EXPECT_TRUE(dll.exit());
  }
}

TEST_F(ViewerDllTest, PauseStopsInputAndRunResumesWithoutANewConnection) {
  FakeConsole console;
  startWithFrame(console, Area{}, 800, 600);
  const HWND window = viewer();
  const auto keys = [&](std::uint32_t keysym, bool down) {
    return console.count([&](const ViewerMessage& m) { return m.type == 1 && m.value == keysym && (m.flag != 0) == down; });
  };

  // The real ToAscii on the US layout: 'A' unshifted is a, F1 comes from the table.
  SendMessageA(window, WM_KEYDOWN, 'A', 0x001E0001);
  SendMessageA(window, WM_KEYUP, 'A', static_cast<LPARAM>(0xC01E0001u));
  SendMessageA(window, WM_SYSKEYDOWN, VK_F1, 0x003B0001);
  EXPECT_TRUE(pumpUntil([&] { return keys(0x61, true) == 1 && keys(0x61, false) == 1 && keys(0xFFBE, true) == 1; }));

  // With Shift held in the thread's keyboard state the same key is a capital.
  BYTE state[256] = {};
  state[VK_SHIFT] = state[VK_LSHIFT] = 0x80;
  SetKeyboardState(state);
  SendMessageA(window, WM_KEYDOWN, VK_SHIFT, 0x002A0001);
  SendMessageA(window, WM_KEYDOWN, 'A', 0x001E0001);
  SendMessageA(window, WM_KEYUP, 'A', static_cast<LPARAM>(0xC01E0001u));
  state[VK_SHIFT] = state[VK_LSHIFT] = 0;
  SetKeyboardState(state);
  SendMessageA(window, WM_KEYUP, VK_SHIFT, static_cast<LPARAM>(0xC02A0001u));
  EXPECT_TRUE(pumpUntil([&] {
    return keys(0xFFE1, true) == 1 && keys(0x41, true) == 1 && keys(0x41, false) == 1 && keys(0xFFE1, false) == 1;
  }));

  EXPECT_TRUE(dll.pause());
  const std::size_t pointerBefore = pointerEvents(console);
  const std::size_t allBefore = console.messages().size();
  SendMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(33, 44));
  EXPECT_EQ(SendMessageA(window, WM_KEYDOWN, 'B', 0x00300001), 0);
  pumpFor(200ms);
  EXPECT_EQ(console.messages().size(), allBefore);

  EXPECT_EQ(dll.run(), 1);
  SendMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(33, 44));
  EXPECT_TRUE(pumpUntil([&] { return pointerEvents(console) == pointerBefore + 1; }));
  EXPECT_EQ(console.connections(), 1);

  // The special sequences go out whether or not input is paused; an unknown code sends nothing.
  EXPECT_TRUE(dll.pause());
  EXPECT_TRUE(dll.sendKeyEvent(0));
  EXPECT_TRUE(dll.sendKeyEvent(3));
  EXPECT_FALSE(dll.sendKeyEvent(4));
  EXPECT_TRUE(pumpUntil([&] { return console.controls(14) == 1 && console.controls(15) == 1; }));

  // Losing the focus lets go of all six modifiers, in order.
  const std::size_t mark = console.messages().size();
  SendMessageA(window, WM_KILLFOCUS, 0, 0);
  ASSERT_TRUE(pumpUntil([&] { return console.messages().size() >= mark + 6; }));
  const auto all = console.messages();
  const std::uint32_t released[] = {0xFFE9, 0xFFE3, 0xFFE1, 0xFFEA, 0xFFE4, 0xFFE2};
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(all[mark + i].type, 1);
    EXPECT_EQ(all[mark + i].flag, 0);
    EXPECT_EQ(all[mark + i].value, released[i]);
  }
}

TEST_F(ViewerDllTest, RefusedLoginShowsItsBoxAndTheNextRunStartsAfresh) {
  FakeConsole console(FakeConsole::Login{103, 0});
  ASSERT_TRUE(initial(console.address(), Area{}, 7));
  EXPECT_EQ(dll.isRunning(), 0);
  EXPECT_EQ(dll.run(), 0);
  ASSERT_TRUE(pumpUntil([&] { return boxes.count() == 1 && boxes.showing() == 0; }));
  const auto refused = boxes.boxes();
  EXPECT_EQ(refused[0].text, "LoginFailed in English\nsecond line");  // language 7 reads English
  EXPECT_EQ(refused[0].caption, "Vantrel");
  EXPECT_EQ(refused[0].owner, nullptr);  // the link's own boxes have no owner without ownerWindow
  EXPECT_EQ(viewer(), nullptr);
  int closed = -1;
  EXPECT_FALSE(dll.isMsgShow(&closed));
  EXPECT_EQ(closed, 0);
  EXPECT_FALSE(dll.isMsgShow(nullptr));

  // Still pending: the next ClientRun is a full start on a new connection; logged in, but with
  // no screen yet, the session is not running.
  console.setLogin({});
  runUntilLoggedIn(console);
  EXPECT_EQ(console.connections(), 2);
  EXPECT_NE(viewer(), nullptr);
  EXPECT_EQ(dll.isRunning(), 0);
  EXPECT_TRUE(dll.exit());

  // 111 at once: the link's box, then ClientRun's own, owned by the parent without an owner.
  boxes.clear();
  FakeConsole threeTimes(FakeConsole::Login{111, 0});
  ASSERT_TRUE(initial(threeTimes.address(), Area{}, 1));
  EXPECT_EQ(dll.run(), 0);
  ASSERT_TRUE(pumpUntil([&] { return boxes.count() == 2 && boxes.showing() == 0; }));
  const auto seen = boxes.boxes();
  EXPECT_EQ(seen[0].text, "ThreeTimeFailed jp");
  EXPECT_EQ(seen[1].text, "ThreeTimeFailed jp");
  EXPECT_EQ(seen[1].owner, host.get());
}

TEST_F(ViewerDllTest, NoConsoleShowsConnectFailedOwnedByTheParent) {
  // Nothing listens on this loopback address.
  ASSERT_TRUE(initial("127.86.254.254"));
  EXPECT_EQ(dll.run(), 0);
  ASSERT_TRUE(pumpUntil([&] { return boxes.count() == 1 && boxes.showing() == 0; }));
  EXPECT_EQ(boxes.boxes()[0].text, "ConnectServerFailed in English\nsecond line");
  EXPECT_EQ(boxes.boxes()[0].owner, host.get());
}

TEST_F(ViewerDllTest, ServerEndOfSessionIsReportedThroughIsMsgShowAndIsRunning) {
  FakeConsole console;
  startWithFrame(console, Area{}, 800, 600);
  const HWND window = viewer();
  boxes.hold(true);
  ASSERT_TRUE(console.sendServerCut());
  ASSERT_TRUE(pumpUntil([&] { return boxes.showing() == 1; }));
  int closed = 0;
  EXPECT_TRUE(dll.isMsgShow(&closed));
  EXPECT_EQ(closed, 1);
  const auto seen = boxes.boxes();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, "ServerCutConnect in English\nsecond line");
  // Owned by the viewer, which the system turns into its top-level window: the host's.
  EXPECT_EQ(seen[0].owner, GetAncestor(window, GA_ROOT));

  boxes.hold(false);
  ASSERT_TRUE(pumpUntil([&] { return !dll.isMsgShow(&closed); }));
  EXPECT_EQ(closed, 1);
  EXPECT_EQ(dll.isRunning(), 0);
  EXPECT_EQ(dll.isRunning(), 0);
  EXPECT_EQ(console.acknowledgements(), 2u);  // none for the end of the session
  EXPECT_EQ(boxes.count(), 1u);

  // A resuming ClientRun forgets the server's end; it makes no new connection.
  EXPECT_EQ(dll.run(), 1);
  EXPECT_FALSE(dll.isMsgShow(&closed));
  EXPECT_EQ(closed, 0);
  EXPECT_EQ(console.connections(), 1);
}

// A console that is killed closes the connection in an orderly way: the session ends at once,
// without the box of a session the server ended.
TEST_F(ViewerDllTest, OrderlyCloseByTheConsoleEndsTheSessionWithinASecond) {
  FakeConsole console;
  startWithFrame(console, Area{}, 800, 600);
  ASSERT_EQ(dll.isRunning(), 1);
  console.closeSession();
  EXPECT_TRUE(pumpUntil([&] { return dll.isRunning() == 0; }, 1s));
  int closed = -1;
  EXPECT_FALSE(dll.isMsgShow(&closed));
  EXPECT_EQ(closed, 0);
  EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(ViewerDllTest, ExitReturnsPromptlyWithABoxUpAndWhileUpdatesStream) {
  {
    FakeConsole console;
    startWithFrame(console, Area{}, 800, 600);
    boxes.hold(true);
    ASSERT_TRUE(console.sendServerCut());
    ASSERT_TRUE(pumpUntil([&] { return boxes.showing() == 1; }));
    const auto start = Clock::now();
    EXPECT_TRUE(dll.exit());
    EXPECT_LT(Clock::now() - start, 5s);
    EXPECT_TRUE(pumpUntil([&] { return boxes.showing() == 0; }, 2s)) << "the box outlived the session";
    boxes.hold(false);
  }
  {
    FakeConsole console;
    startWithFrame(console, Area{}, 1024, 768);
    std::atomic<bool> streaming{true};
    std::thread updates([&] {
      for (int i = 0; streaming && i < 2000; ++i) {
        const auto x = static_cast<std::uint16_t>(i * 37 % 960);
        if (!console.sendScreenUpdate(x, 100, 64, 64, [i](int, int) { return static_cast<std::uint32_t>(i) * 0x010203u; })) break;
      }
    });
    pumpFor(300ms);
    const auto start = Clock::now();
    EXPECT_TRUE(dll.exit());
    EXPECT_LT(Clock::now() - start, 5s);
    streaming = false;
    console.reset();
    updates.join();
  }
  // And with nothing started at all.
  const auto start = Clock::now();
  EXPECT_TRUE(dll.exit());
  EXPECT_LT(Clock::now() - start, 1s);
}

TEST_F(ViewerDllTest, OverlongStringsAreCutNotCopiedPastTheirBuffers) {
  FakeConsole refusing(FakeConsole::Login{107, 103});
  const std::string longDirectory = "C:\\" + std::string(3000, 'd');
  const std::string longText(5000, 'u');
  ASSERT_TRUE(dll.initial(longDirectory.c_str(), host.get(), nullptr, 0, 0, 800, 600, refusing.address().c_str(), 0,
                          longText.c_str(), longText.c_str(), 0, 0));
  EXPECT_EQ(dll.run(), 0);
  ASSERT_TRUE(pumpUntil([&] { return boxes.count() == 1 && boxes.showing() == 0; }));
  EXPECT_EQ(boxes.boxes()[0].text, "No Text");  // the cut directory holds no catalogue
  EXPECT_TRUE(dll.initial(longDirectory.c_str(), host.get(), nullptr, 0, 0, 800, 600, longText.c_str(), 0, nullptr,
                          nullptr, 0, 0));
}

// Dead keys through the system's own translation, on the X server's German keymap (the ctest
// entry viewer_dll_german_keymap sets it for the run): the console gets each dead key once, as
// its dead keysym, and composes it with the key after it (^ then e is ê, ^ then space is ^).
// Skipped where the key left of 1 is not a dead key.
TEST_F(ViewerDllTest, DeadKeysOfAGermanKeyboardReachTheConsoleOnceEach) {
  const UINT circumflex = MapVirtualKeyA(0x29, MAPVK_VSC_TO_VK);
  BYTE noKeys[256] = {};
  WORD typed = 0;
  if (ToAscii(circumflex, 0x29, noKeys, &typed, 0) >= 0) GTEST_SKIP() << "no dead key left of 1";
  FakeConsole console;
  startWithFrame(console, Area{}, 800, 600);
  const HWND window = viewer();
  const std::size_t mark = console.messages().size();
  const auto press = [&](UINT vk, UINT scan) {
    SendMessageA(window, WM_KEYDOWN, vk, static_cast<LPARAM>(scan << 16 | 1));
    SendMessageA(window, WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u | scan << 16));
  };
  press(circumflex, 0x29);
  press('E', 0x12);
  press(circumflex, 0x29);
  press(VK_SPACE, 0x39);
  const std::vector<std::pair<std::uint32_t, bool>> expected{
      {0xFE52, true}, {0xFE52, false}, {0x65, true}, {0x65, false},
      {0xFE52, true}, {0xFE52, false}, {0x20, true}, {0x20, false}};
  std::vector<std::pair<std::uint32_t, bool>> keys;
  EXPECT_TRUE(pumpUntil([&] {
    keys.clear();
    const auto all = console.messages();
    for (std::size_t i = mark; i < all.size(); ++i) {
      if (all[i].type == 1) keys.emplace_back(all[i].value, all[i].flag != 0);
    }
    return keys.size() >= expected.size();
  }));
  pumpFor(100ms);
  EXPECT_EQ(keys, expected);
}

}  // namespace
}  // namespace vantrel::wintest
