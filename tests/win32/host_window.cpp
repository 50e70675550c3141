#include "host_window.h"

#include <chrono>

#include "fake_console.h"

namespace vantrel::wintest {
namespace {

LRESULT CALLBACK hostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

HostWindow::HostWindow() {
  static const bool registered = [] {
    WNDCLASSA c{};
    c.lpfnWndProc = hostProc;
    c.hInstance = GetModuleHandleA(nullptr);
    c.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    c.lpszClassName = "VantrelTestHost";
    return RegisterClassA(&c) != 0;
  }();
  (void)registered;
  window_ = CreateWindowExA(0, "VantrelTestHost", "host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, 0, 0,
                            1024, 768, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  pumpFor(std::chrono::milliseconds(50));
}

HostWindow::~HostWindow() { DestroyWindow(window_); }

}  // namespace vantrel::wintest
