#pragma once
// A test's own connection to an X server, for driving a program's window from outside: finds
// a window by its title, reads its pixels, types and clicks through XTEST, and reads and offers
// the CLIPBOARD text.

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "png_image.h"

namespace vantrel::test {

using XWindow = unsigned long;

class XDesktop {
 public:
  explicit XDesktop(const std::string& display);
  ~XDesktop();
  XDesktop(const XDesktop&) = delete;
  XDesktop& operator=(const XDesktop&) = delete;
  bool ok() const { return display_ != nullptr; }

  // The top-level window whose title starts with `title`.
  std::optional<XWindow> findWindow(const std::string& title);
  std::pair<int, int> size(XWindow w);
  std::pair<int, int> origin(XWindow w);  // on the screen
  void resize(XWindow w, int width, int height);
  // The window's pixels as the X server holds them.
  cli::RgbImage screenshot(XWindow w);

  // The pointer into the window and the keyboard focus onto it.
  void focus(XWindow w);
  // Presses (true) and releases of the keys of these keysyms in the current keymap, in turn.
  void keys(const std::vector<std::pair<unsigned long, bool>>& steps);
  void click(int screenX, int screenY, unsigned button);

  // The CLIPBOARD's text (UTF-8) when a client holds it.
  std::optional<std::string> clipboard();
  // Takes the CLIPBOARD with `text` and answers requests for it until `done` (at most 10 s).
  bool offerClipboard(const std::string& text, const std::function<bool()>& done);

 private:
  void* display_;
  XWindow own_ = 0;
  unsigned long clipboard_ = 0, utf8_ = 0, targets_ = 0;
};

}  // namespace vantrel::test
