#pragma once
// The X server's CLIPBOARD selection both ways, on a thread and a connection of its own: when
// another client takes the selection (XFixes tells), its text is fetched and handed on as
// Latin-1; the viewer's text is offered by owning the selection, as UTF8_STRING, STRING and
// TEXT. A text that came from the viewer is not handed back when a clipboard manager takes it
// over.
// Xlib stays inside the source file.

#include <functional>
#include <memory>
#include <string>

namespace vantrel::cli {

class X11Clipboard {
 public:
  using TextListener = std::function<void(const std::string& latin1)>;
  // Nothing, with a reason, when the display cannot be opened or lacks XFixes.
  static std::unique_ptr<X11Clipboard> open(const std::string& display, TextListener onDesktopText,
                                            std::string& error);
  ~X11Clipboard();

  // Makes the viewer's text (Latin-1) the desktop's clipboard.
  void setFromViewer(const std::string& latin1);

  struct Impl;

 private:
  explicit X11Clipboard(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace vantrel::cli
