#pragma once
// What `vantrel console` shows: a built-in animated desktop, or still images in turn.

#include <chrono>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "png_image.h"
#include "server/screen_feed.h"

namespace vantrel::cli {

// A source of pictures for the console. The session asks for a picture when the viewer can
// take the next update; the source says where it may differ from the last one it gave, so that
// the screen feed converts and compares only that part.
class FrameSource {
 public:
  struct Frame {
    const RgbImage& picture;  // width * height RGB pixels, top-down rows; the source keeps it
    // The areas where the picture may differ from the one returned before; the whole screen
    // the first time, or when the source cannot tell. None when nothing changed. The source
    // keeps them until the next call.
    std::span<const ScreenFeed::Rect> changed;
  };

  virtual ~FrameSource() = default;
  // The picture `elapsed` after the start of the session.
  virtual Frame frameAt(std::chrono::milliseconds elapsed) = 0;
  // The moment (from the start) after `elapsed` when the picture may change next.
  virtual std::chrono::milliseconds nextChange(std::chrono::milliseconds elapsed) const = 0;
  // A source that hears of changes as they happen calls `changed` (from a thread of its own)
  // when the picture may differ from the last frameAt's, so that the session need not wait for
  // nextChange. Null stops the calls; once this returns, the old function is not called again.
  virtual void watchChanges(std::function<void()> changed) { (void)changed; }
};

// A desktop rendered in software: a taskbar clock that ticks every second, a window that
// moves, and a line of text in it that types itself. Ten pictures a second.
std::unique_ptr<FrameSource> makeDemoSource(int width, int height);

// The images one after another, each for `interval`, drawn from the top-left corner on black
// and cut to the screen.
std::unique_ptr<FrameSource> makeStillSource(std::vector<RgbImage> images, int width, int height,
                                             std::chrono::milliseconds interval);

}  // namespace vantrel::cli
