#pragma once
// The viewer window's part in the Windows clipboard (the Win32 shell, clipboard_viewer_win32.cpp):
// its place in the clipboard-viewer chain, the local text read when the clipboard changes, and
// the console's text put on the clipboard as CF_TEXT.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "catalog/user_messages.h"

namespace vantrel {

class ClipboardViewer {
 public:
  explicit ClipboardViewer(UserMessages& messages) : messages_(messages) {}
  ClipboardViewer(const ClipboardViewer&) = delete;
  ClipboardViewer& operator=(const ClipboardViewer&) = delete;

  // Joins the chain; a first WM_DRAWCLIPBOARD comes at once. Leaving is safe to repeat, so that
  // a window the session lets go of before its destruction does not break the chain.
  void join(WindowRef window);
  void leave();

  // WM_DRAWCLIPBOARD, in two steps so that the clipboard is not held while the text travels:
  // the clipboard's text made ready for the console (nothing when the clipboard cannot be
  // opened, holds no text, or holds a text longer than `limit`), then the notification passed
  // on to the next viewer, which must happen whatever became of the text.
  std::optional<std::string> localText(WindowRef window, std::int32_t limit);
  void passOn();
  // WM_CHANGECBCHAIN: `leaving` goes out of the chain, `following` came after it.
  void chainChanged(WindowRef leaving, WindowRef following);

  // The console's text onto the clipboard as CF_TEXT with CR LF line ends, owned by `window`.
  // Runs on the receive thread; a failure shows its box owned by `window` and the session goes on.
  void setLocalClipboard(WindowRef window, std::span<const std::uint8_t> payload);

 private:
  UserMessages& messages_;
  // Window thread only.
  WindowRef joined_ = nullptr;
  WindowRef next_ = nullptr;
};

}  // namespace vantrel
