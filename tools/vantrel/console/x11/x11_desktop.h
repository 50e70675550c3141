#pragma once
// An X server as the console's desktop: its screen as the frame source, the viewer's keys and
// pointer through XTEST (none when view-only), the CLIPBOARD selection both ways and the cursor
// as an overlay (unless left out).

#include <memory>
#include <mutex>
#include <string>

#include "console/desktop_port.h"
#include "console/x11/clipboard_x11.h"
#include "console/x11/desktop_input_x11.h"
#include "console/x11/screen_source_x11.h"

namespace vantrel::cli {

class X11Desktop final : public DesktopPort {
 public:
  struct Options {
    std::string display;
    std::optional<ScreenSize> size;
    bool viewOnly = false;
    bool cursor = true;
  };
  // Nothing, with a reason, when the display cannot be used.
  static std::unique_ptr<X11Desktop> open(const Options& options, std::string& error);

  X11ScreenSource& source() { return *source_; }

  void key(std::uint32_t keysym, bool down) override;
  void pointer(ScreenPoint served, std::uint8_t buttons) override;
  void request(std::uint16_t subtype) override;
  void clipboardFromViewer(const std::string& latin1) override;
  void sessionStarted() override;
  void sessionEnded() override;
  std::optional<std::string> takeClipboardForViewer() override;
  const OverlayPicture* cursorOverlay(const RgbImage& screen, bool redraw) override;

 private:
  X11Desktop() = default;

  Options options_;
  std::unique_ptr<X11ScreenSource> source_;
  std::unique_ptr<X11Input> input_;
  std::unique_ptr<X11Clipboard> clipboard_;

  std::mutex lock_;
  std::optional<std::string> forViewer_;  // the desktop's latest text, not yet sent
  std::string sentToViewer_;              // what the viewer echoes back after setting it

  std::uint64_t cursorSerial_ = 0;
  std::optional<ScreenPoint> cursorAt_;
  OverlayPicture overlay_;  // the last picture of the pointer, its buffer used again
};

}  // namespace vantrel::cli
