#include "console/x11/x11_desktop.h"

#include <utility>

namespace vantrel::cli {
namespace {

constexpr std::uint16_t kAltTab = 14;
constexpr std::uint32_t kAltL = 0xFFE9, kTab = 0xFF09;

}  // namespace

std::unique_ptr<X11Desktop> X11Desktop::open(const Options& options, std::string& error) {
  std::unique_ptr<X11Desktop> desktop(new X11Desktop());
  desktop->options_ = options;
  desktop->source_ = X11ScreenSource::open({options.display, options.size, true}, error);
  if (!desktop->source_) return nullptr;
  if (!options.viewOnly) {
    desktop->input_ = X11Input::open(options.display, error);
    if (!desktop->input_) return nullptr;
  }
  X11Desktop* self = desktop.get();
  desktop->clipboard_ = X11Clipboard::open(
      options.display,
      [self](const std::string& text) {
        std::lock_guard guard(self->lock_);
        self->forViewer_ = text;
      },
      error);
  if (!desktop->clipboard_) return nullptr;
  return desktop;
}

void X11Desktop::key(std::uint32_t keysym, bool down) {
  if (input_) input_->key(keysym, down);
}

void X11Desktop::pointer(ScreenPoint served, std::uint8_t buttons) {
  if (input_) input_->pointer(source_->geometry().toDesktop(served), buttons);
}

// Alt+Tab is typed as a desktop user would; Ctrl+Alt+Del means nothing shared by X desktops
// (and may mean a reboot where a console's keyboard is taken at its word), so it is only logged.
void X11Desktop::request(std::uint16_t subtype) {
  if (!input_ || subtype != kAltTab) return;
  input_->key(kAltL, true);
  input_->key(kTab, true);
  input_->key(kTab, false);
  input_->key(kAltL, false);
}

void X11Desktop::clipboardFromViewer(const std::string& text) {
  if (options_.viewOnly) return;
  // A clipboard text ends at its first NUL, as the viewer itself keeps texts.
  const std::string latin1 = text.substr(0, text.find('\0'));
  {
    std::lock_guard guard(lock_);
    // The viewer puts what it receives on its clipboard and sends it straight back.
    if (latin1 == sentToViewer_) return;
  }
  clipboard_->setFromViewer(latin1);
}

void X11Desktop::sessionStarted() {
  std::lock_guard guard(lock_);
  forViewer_.reset();
  sentToViewer_.clear();
  cursorAt_.reset();
}

void X11Desktop::sessionEnded() {
  if (input_) input_->releaseAll();
}

std::optional<std::string> X11Desktop::takeClipboardForViewer() {
  std::lock_guard guard(lock_);
  if (!forViewer_) return std::nullopt;
  sentToViewer_ = *forViewer_;
  return std::exchange(forViewer_, std::nullopt);
}

const OverlayPicture* X11Desktop::cursorOverlay(const RgbImage& screen, bool redraw) {
  if (!options_.cursor) return nullptr;
  const auto cursor = source_->cursor();
  if (!cursor) return nullptr;
  const bool changed = cursor->serial != cursorSerial_ || !cursorAt_ || !(*cursorAt_ == cursor->hot);
  if (!changed && !redraw) return nullptr;
  cursorSerial_ = cursor->serial;
  cursorAt_ = cursor->hot;
  return composeCursor(screen, *cursor->sprite, cursor->hot, overlay_) ? &overlay_ : nullptr;
}

}  // namespace vantrel::cli
