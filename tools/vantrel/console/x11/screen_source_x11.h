#pragma once
// The screen of an X server as a frame source: the root window read through MIT-SHM (plain
// XGetImage where the server cannot share memory), changes learnt from XDamage (or, without it,
// found by comparing tiles), converted from the screen's own pixel format, and placed on the
// served screen (scaled down with area averaging when the desktop is larger). Only changed areas
// are read, converted and scaled; an idle desktop costs a look at the event queue. With XDamage
// the session hears of a change as soon as the server reports it (watchChanges): a keystroke's
// echo need not wait for the next look. It also reports the cursor's image (XFixes) and where
// the pointer is.
// Xlib stays inside the source file. One thread uses an instance, and watchChanges' thread
// only waits on the server's connection.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "console/cursor_overlay.h"
#include "console/desktop_geometry.h"
#include "console/frame_source.h"

namespace vantrel::cli {

class X11ScreenSource final : public FrameSource {
 public:
  struct Options {
    std::string display;                 // "" for $DISPLAY
    std::optional<ScreenSize> size;      // the served size, else chosen from the desktop's
    bool pollDamage = true;              // false: compare tiles even where XDamage exists
  };
  static std::unique_ptr<X11ScreenSource> open(const Options& options, std::string& error);
  ~X11ScreenSource() override;

  // The changed areas are the served-screen areas that were read again.
  Frame frameAt(std::chrono::milliseconds elapsed) override;
  std::chrono::milliseconds nextChange(std::chrono::milliseconds elapsed) const override;
  void watchChanges(std::function<void()> changed) override;

  const DesktopGeometry& geometry() const;
  // The cursor image (fetched again when the server says it changed) and the served position of
  // its hot spot; nothing when the server cannot tell.
  struct Cursor {
    const CursorSprite* sprite;
    std::uint64_t serial;  // changes with the image
    ScreenPoint hot;
  };
  std::optional<Cursor> cursor();
  // What the server offered: for the console's start-up line.
  std::string describe() const;

  struct Impl;

 private:
  explicit X11ScreenSource(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace vantrel::cli
