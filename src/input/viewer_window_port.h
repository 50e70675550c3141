#pragma once
// What the keyboard code does to the viewer window: give it the focus after a special key
// sequence, and ask it to close after a failure on the keyboard path.

namespace vantrel {

class ViewerWindowPort {
 public:
  virtual ~ViewerWindowPort() = default;

  virtual void takeFocus() = 0;     // SetFocus(viewer window)
  virtual void requestClose() = 0;  // PostMessage(viewer window, WM_CLOSE): never closes re-entrantly
};

}  // namespace vantrel
