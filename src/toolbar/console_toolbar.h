#pragma once
// The floating toolbar of the full-screen view: a child window of the viewer holding the seven
// owner-drawn picture buttons of toolbar_layout.h. Defined in console_toolbar_win32.cpp.

#include <memory>

#include "catalog/user_messages.h"
#include "toolbar/toolbar_layout.h"

namespace vantrel {

class ConsoleToolbar {
 public:
  // Creates the window as a child of `parent` with the bitmaps of `instance`, centres and shows
  // it. Null, after the "create wnd failed" box, when the window could not be made. The clicks
  // go to `host`, which outlives the toolbar.
  static std::unique_ptr<ConsoleToolbar> create(WindowRef parent, void* instance, ToolbarHost& host,
                                                UserMessages& messages);
  virtual ~ConsoleToolbar() = default;

  // At the top centre of the parent, 625 x 36.
  virtual void centre() = 0;
  virtual void show() = 0;
  virtual void hide() = 0;
  // The screen columns it covers as of the last centring.
  virtual ToolbarSpan span() const = 0;
  virtual WindowRef window() const = 0;
};

}  // namespace vantrel
