#pragma once
// The host's top-level window, 1024 x 768 at the screen's top left: the viewer's parent.

#include <windows.h>

namespace vantrel::wintest {

class HostWindow {
 public:
  HostWindow();
  ~HostWindow();
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;
  HWND get() const { return window_; }

 private:
  HWND window_ = nullptr;
};

}  // namespace vantrel::wintest
