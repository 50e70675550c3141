#pragma once
// The object behind one of our windows: handed over as CreateWindowEx's last argument and kept
// in GWLP_USERDATA from WM_NCCREATE on. Null for the few messages that come before it.

#include <windows.h>

namespace vantrel {

template <typename T>
T* windowObject(HWND window, UINT message, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  return reinterpret_cast<T*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

}  // namespace vantrel
