#include <windows.h>

#include <cstring>
#include <new>

#include "clipboard/clipboard_text.h"
#include "clipboard/clipboard_viewer.h"

namespace vantrel {
namespace {

// Another program (a clipboard history tool, another viewer in the chain) may hold the
// clipboard for the moment it takes to read it: a few short tries before giving up.
constexpr int kOpenAttempts = 5;
constexpr DWORD kOpenRetryMs = 10;

HWND hwnd(WindowRef window) { return static_cast<HWND>(window); }

// The clipboard held open by this thread, closed at the end of the scope unless closed before.
class OpenedClipboard {
 public:
  explicit OpenedClipboard(HWND window) {
    for (int attempt = 0; attempt < kOpenAttempts && !open_; ++attempt) {
      if (attempt > 0) Sleep(kOpenRetryMs);
      open_ = OpenClipboard(window) != FALSE;
    }
  }
  OpenedClipboard(const OpenedClipboard&) = delete;
  OpenedClipboard& operator=(const OpenedClipboard&) = delete;
  ~OpenedClipboard() {
    if (open_) CloseClipboard();
  }

  bool isOpen() const { return open_; }
  bool close() {
    open_ = false;
    return CloseClipboard() != FALSE;
  }

 private:
  bool open_ = false;
};

// A CF_TEXT block: `text` plus its NUL, in shareable memory that the clipboard takes over.
HGLOBAL textBlock(const std::string& text) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, text.size() + 1);
  if (block == nullptr) return nullptr;
  auto* bytes = static_cast<char*>(GlobalLock(block));
  if (bytes == nullptr) {
    GlobalFree(block);
    return nullptr;
  }
  std::memcpy(bytes, text.data(), text.size());
  bytes[text.size()] = '\0';
  GlobalUnlock(block);
  return block;
}

}  // namespace

void ClipboardViewer::join(WindowRef window) {
  joined_ = window;
  next_ = SetClipboardViewer(hwnd(window));
}

void ClipboardViewer::leave() {
  if (joined_ == nullptr) return;
  ChangeClipboardChain(hwnd(joined_), hwnd(next_));
  joined_ = nullptr;
  next_ = nullptr;
}

std::optional<std::string> ClipboardViewer::localText(WindowRef window, std::int32_t limit) {
  OpenedClipboard clipboard(hwnd(window));
  if (!clipboard.isOpen()) return std::nullopt;
  HANDLE data = GetClipboardData(CF_TEXT);
  const auto* text = data != nullptr ? static_cast<const char*>(GlobalLock(data)) : nullptr;
  if (text == nullptr) return std::nullopt;
  std::optional<std::string> ready;
  try {
    // A program may have left out the NUL: the text then ends with its block.
    ready = clipboardTextToSend({text, GlobalSize(data)}, limit);
  } catch (const std::bad_alloc&) {
  }
  GlobalUnlock(data);
  return ready;
}

void ClipboardViewer::passOn() {
  if (next_ != nullptr) SendMessageA(hwnd(next_), WM_DRAWCLIPBOARD, 0, 0);
}

void ClipboardViewer::chainChanged(WindowRef leaving, WindowRef following) {
  if (leaving == next_) {
    next_ = following;
  } else if (next_ != nullptr) {
    SendMessageA(hwnd(next_), WM_CHANGECBCHAIN, reinterpret_cast<WPARAM>(leaving), reinterpret_cast<LPARAM>(following));
  }
}

void ClipboardViewer::setLocalClipboard(WindowRef window, std::span<const std::uint8_t> payload) {
  std::string text;
  try {
    text = withCrLf(receivedClipboardText(payload));
  } catch (const std::bad_alloc&) {
    return;  // the clipboard keeps what it had
  }
  OpenedClipboard clipboard(hwnd(window));
  if (!clipboard.isOpen()) {
    messages_.showCatalogBox(window, "CloseClipboardFailed");
    return;
  }
  if (!EmptyClipboard()) {
    clipboard.close();  // not held by us while the box waits for the user
    messages_.showCatalogBox(window, "EmptyClipboardFailed");
    return;
  }
  // Without memory for the block the clipboard stays empty. Once set, the block is the system's.
  if (HGLOBAL block = textBlock(text); block != nullptr && SetClipboardData(CF_TEXT, block) == nullptr) {
    GlobalFree(block);
  }
  if (!clipboard.close()) messages_.showCatalogBox(window, "CloseClipboardFailed");
}

}  // namespace vantrel
