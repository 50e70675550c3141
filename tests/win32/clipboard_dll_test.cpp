// The clipboard of consoleclient.dll against the real clipboard of the system: text both ways,
// the clipboard-viewer chain around the viewer window, and the box of a failed write.

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <optional>
#include <string>

#include "dll_test.h"

namespace vantrel::wintest {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;

// A clipboard viewer that keeps the chain as a well-behaved program does and counts the
// notifications that reach it.
class ChainViewer {
 public:
  ChainViewer() {
    static const bool registered = [] {
      WNDCLASSA c{};
      c.lpfnWndProc = procedure;
      c.hInstance = GetModuleHandleA(nullptr);
      c.lpszClassName = "VantrelTestChainViewer";
      return RegisterClassA(&c) != 0;
    }();
    (void)registered;
    window_ = CreateWindowExA(0, "VantrelTestChainViewer", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    next_ = SetClipboardViewer(window_);
    pumpFor(50ms);
    draws = 0;  // joining notifies the one joining only
  }
  ~ChainViewer() {
    ChangeClipboardChain(window_, next_);
    DestroyWindow(window_);
  }

  int draws = 0;

 private:
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<ChainViewer*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self == nullptr || (message != WM_DRAWCLIPBOARD && message != WM_CHANGECBCHAIN)) {
      return DefWindowProcA(window, message, wParam, lParam);
    }
    if (message == WM_DRAWCLIPBOARD) ++self->draws;
    if (message == WM_CHANGECBCHAIN && reinterpret_cast<HWND>(wParam) == self->next_) {
      self->next_ = reinterpret_cast<HWND>(lParam);
    } else if (self->next_ != nullptr) {
      SendMessageA(self->next_, message, wParam, lParam);
    }
    return 0;
  }

  HWND window_ = nullptr;
  HWND next_ = nullptr;
};

bool putOnClipboard(HWND owner, UINT format, HANDLE data) {
  if (!OpenClipboard(owner)) return false;
  EmptyClipboard();
  const bool set = SetClipboardData(format, data) != nullptr;
  CloseClipboard();
  return set;
}

bool putText(HWND owner, const std::string& text) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  std::memcpy(GlobalLock(block), text.c_str(), text.size() + 1);
  GlobalUnlock(block);
  return putOnClipboard(owner, CF_TEXT, block);
}

// CF_TEXT as it is on the clipboard now; nothing while another thread holds the clipboard.
std::optional<std::string> clipboardText() {
  if (!OpenClipboard(nullptr)) return std::nullopt;
  std::optional<std::string> text;
  if (HANDLE data = GetClipboardData(CF_TEXT)) {
    text = static_cast<const char*>(GlobalLock(data));
    GlobalUnlock(data);
  }
  CloseClipboard();
  return text;
}

class ClipboardDllTest : public DllTest {
 protected:
  FakeConsole console;

  void SetUp() override {
    DllTest::SetUp();
    ASSERT_TRUE(console.listening());
  }

  void start() {
    const std::string ini = iniDirectory("clipboard-test", "[MESSAGEBOX]\nCloseClipboardFailed_en=no clipboard\n");
    ASSERT_TRUE(dll.initial(ini.c_str(), host.get(), nullptr, 0, 0, 1000, 700, console.address().c_str(), 0, "operator",
                            "secret", 0, 0));
    runUntilLoggedIn(console);
    pumpFor(100ms);
  }

  // Waits until the console has had `count` clipboard texts, the last of them `text`.
  bool consoleHas(std::size_t count, const std::string& text) {
    return pumpUntil([&] {
      const auto texts = console.clipboardTexts();
      return texts.size() == count && texts.back() == text;
    });
  }
};

TEST_F(ClipboardDllTest, TextBothWaysWithTheChainKeptAroundTheViewer) {
  ASSERT_TRUE(putText(host.get(), "there before\r\n"));
  ChainViewer before;  // the viewer window must pass every notification on to it
  start();
  EXPECT_TRUE(consoleHas(1, "there before\n"));  // joining the chain sends what is there
  ChainViewer after;  // the viewer window follows it in the chain
  std::size_t sent = 1;

  ASSERT_TRUE(putText(host.get(), "one\r\ntwo caf\xE9\r\n"));
  EXPECT_TRUE(consoleHas(++sent, "one\ntwo caf\xE9\n"));
  EXPECT_EQ(before.draws, 1);
  EXPECT_EQ(after.draws, 1);

  // A picture alone sends nothing; the notification still goes on.
  ASSERT_TRUE(putOnClipboard(host.get(), CF_BITMAP, CreateBitmap(8, 8, 1, 32, nullptr)));
  EXPECT_TRUE(pumpUntil([&] { return before.draws == 2; }));
  pumpFor(200ms);
  EXPECT_EQ(console.clipboardTexts().size(), sent);

  // The console's text goes onto the clipboard and comes back once, also while input is paused.
  EXPECT_TRUE(dll.pause());
  const struct {
    std::string fromConsole, onClipboard, echoed;
  } cases[] = {
      {"a\nb\xE9\r\n\0tail"s, "a\r\nb\xE9\r\r\n", "a\nb\xE9\n"},
      {"", "", ""},  // an empty clipboard, but for an empty text
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(console.sendClipboardText(c.fromConsole));
    EXPECT_TRUE(pumpUntil([&] { return clipboardText() == c.onClipboard; })) << c.onClipboard;
    EXPECT_TRUE(consoleHas(++sent, c.echoed)) << c.echoed;
    pumpFor(200ms);
    EXPECT_EQ(console.clipboardTexts().size(), sent) << c.echoed;
  }

  const int beforeDraws = before.draws, afterDraws = after.draws;
  EXPECT_TRUE(dll.exit());
  ASSERT_TRUE(putText(host.get(), "after the session"));
  EXPECT_TRUE(pumpUntil([&] { return before.draws == beforeDraws + 1 && after.draws == afterDraws + 1; }));
}

// The limit counts the text as it goes out, without its CRs: 204,800 bytes of it are sent, one
// more and nothing is.
TEST_F(ClipboardDllTest, TheLimitCountsTheTextWithoutItsCrs) {
  start();
  std::string lines;
  for (int i = 0; i < 2048; ++i) lines += std::string(99, 'x') + "\r\n";
  std::string sent = lines;
  std::erase(sent, '\r');
  ASSERT_EQ(sent.size(), 204800u);
  const std::size_t before = console.clipboardTexts().size();
  ASSERT_TRUE(putText(host.get(), lines));
  EXPECT_TRUE(consoleHas(before + 1, sent));
  ASSERT_TRUE(putText(host.get(), lines + "y"));
  ASSERT_TRUE(putText(host.get(), "short"));  // after the long one: once it is here, that one was skipped
  EXPECT_TRUE(consoleHas(before + 2, "short"));
}

TEST_F(ClipboardDllTest, AClipboardHeldElsewhereShowsItsBoxAndTheSessionGoesOn) {
  start();
  boxes.hold(true);
  ASSERT_TRUE(OpenClipboard(host.get()));
  ASSERT_TRUE(console.sendClipboardText("lost"));
  ASSERT_TRUE(pumpUntil([&] { return boxes.showing() == 1; }));
  EXPECT_TRUE(dll.isMsgShow(nullptr));
  CloseClipboard();
  const auto seen = boxes.boxes();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, "no clipboard");
  EXPECT_EQ(seen[0].owner, GetAncestor(viewer(), GA_ROOT));
  boxes.hold(false);
  ASSERT_TRUE(pumpUntil([&] { return !dll.isMsgShow(nullptr); }));

  ASSERT_TRUE(console.sendClipboardText("kept"));
  EXPECT_TRUE(pumpUntil([&] { return clipboardText() == "kept"; }));
  EXPECT_EQ(boxes.count(), 1u);
}

}  // namespace
}  // namespace vantrel::wintest
