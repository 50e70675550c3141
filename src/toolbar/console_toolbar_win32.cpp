#include <windows.h>

#include <array>
#include <memory>
#include <type_traits>

#include "toolbar/console_toolbar.h"
#include "viewer/window_object_win32.h"

namespace vantrel {
namespace {

constexpr const char* kClassName = "ConToolbar";
constexpr DWORD kToolbarStyle = WS_CHILD | WS_VISIBLE | WS_BORDER;
constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | BS_OWNERDRAW;

struct BitmapDeleter {
  void operator()(HBITMAP bitmap) const { DeleteObject(bitmap); }
};
using Bitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, BitmapDeleter>;

LRESULT CALLBACK ToolbarWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

class Win32ConsoleToolbar final : public ConsoleToolbar {
 public:
  Win32ConsoleToolbar(HWND parent, HINSTANCE instance, ToolbarHost& host)
      : parent_(parent), instance_(instance), host_(host) {}

  ~Win32ConsoleToolbar() override {
    // The window normally goes with the viewer; one that outlives us must not reach us.
    if (window_ != nullptr && IsWindow(window_)) {
      SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
      DestroyWindow(window_);
    }
  }

  bool createWindow() {
    window_ = CreateWindowExA(0, kClassName, nullptr, kToolbarStyle, 0, 0, kToolbarWidth, 0, parent_, nullptr,
                              instance_, this);
    return window_ != nullptr;
  }

  void centre() override {
    RECT parent{};
    if (!GetWindowRect(parent_, &parent)) parent = RECT{};
    parentLeft_ = parent.left;
    x_ = toolbarX(parent.right - parent.left);
    MoveWindow(window_, x_, 0, kToolbarWidth, kToolbarHeight, TRUE);
  }

  void show() override { ShowWindow(window_, SW_SHOW); }
  void hide() override { ShowWindow(window_, SW_HIDE); }
  ToolbarSpan span() const override { return toolbarSpan(parentLeft_, x_); }
  WindowRef window() const override { return window_; }

  LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_CREATE:
        onCreate(window);
        return 0;
      case WM_DRAWITEM:
        drawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
      case WM_COMMAND:
        runToolbarCommand(LOWORD(wParam), host_);
        return 0;
      default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
  }

 private:
  struct Faces {
    Bitmap normal, pressed;
  };

  void onCreate(HWND window) {
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
    for (std::size_t i = 0; i < kToolbarButtons.size(); ++i) {
      const ToolbarButton& button = kToolbarButtons[i];
      CreateWindowExA(0, "button", button.caption, kButtonStyle, kToolbarButtonWidth * (button.id - 1), 0,
                      kToolbarButtonWidth, kToolbarButtonHeight, window,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(button.id)), instance, nullptr);
      faces_[i].normal.reset(loadBitmap(button.normalBitmap));
      if (button.pressedBitmap != button.normalBitmap) faces_[i].pressed.reset(loadBitmap(button.pressedBitmap));
    }
    unusedFace_.reset(loadBitmap(VANTREL_IDB_VIRTUAL_DEVICE_PRESSED));
  }

  HBITMAP loadBitmap(int id) const { return LoadBitmapA(instance_, MAKEINTRESOURCEA(id)); }

  // The pressed face while the button is held down, the normal one otherwise; a face that did
  // not load leaves the button blank.
  void drawButton(const DRAWITEMSTRUCT& item) const {
    if (item.CtlID < 1 || item.CtlID > kToolbarButtons.size()) return;
    const Faces& faces = faces_[item.CtlID - 1];
    HBITMAP face = (item.itemState & ODS_SELECTED) && faces.pressed ? faces.pressed.get() : faces.normal.get();
    if (face == nullptr) return;
    HDC memory = CreateCompatibleDC(item.hDC);
    if (memory == nullptr) return;
    HGDIOBJ previous = SelectObject(memory, face);
    const RECT& r = item.rcItem;
    // The face is squeezed from 40 rows to the button's 36: averaged, not rows dropped or ANDed
    // together (the default mode), which would break the captions and band the shading.
    SetStretchBltMode(item.hDC, HALFTONE);
    SetBrushOrgEx(item.hDC, 0, 0, nullptr);
    StretchBlt(item.hDC, r.left, r.top, r.right - r.left, r.bottom - r.top, memory, 0, 0, kToolbarBitmapWidth,
               kToolbarBitmapHeight, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
  }

  HWND parent_;
  HINSTANCE instance_;
  ToolbarHost& host_;
  HWND window_ = nullptr;
  int x_ = 0;
  int parentLeft_ = 0;
  std::array<Faces, kToolbarButtons.size()> faces_;
  Bitmap unusedFace_;
};

LRESULT CALLBACK ToolbarWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = windowObject<Win32ConsoleToolbar>(window, message, lParam);
  if (self == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  return self->handle(window, message, wParam, lParam);
}

void registerClass(HINSTANCE instance) {
  WNDCLASSA toolbarClass{};
  toolbarClass.lpfnWndProc = ToolbarWndProc;
  toolbarClass.hInstance = instance;
  toolbarClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  toolbarClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  toolbarClass.lpszClassName = kClassName;
  if (RegisterClassA(&toolbarClass) == 0 && GetLastError() == ERROR_CLASS_ALREADY_EXISTS) {
    // Left by an earlier session, perhaps by an earlier load of this module at another address:
    // ours replaces it while no toolbar of it is left. Otherwise the old one serves.
    if (UnregisterClassA(kClassName, instance)) RegisterClassA(&toolbarClass);
  }
}

}  // namespace

std::unique_ptr<ConsoleToolbar> ConsoleToolbar::create(WindowRef parent, void* instance, ToolbarHost& host,
                                                       UserMessages& messages) {
  const auto module = static_cast<HINSTANCE>(instance);
  registerClass(module);
  auto toolbar = std::make_unique<Win32ConsoleToolbar>(static_cast<HWND>(parent), module, host);
  if (!toolbar->createWindow()) {
    showMessageBox(*messages.boxes, messages.msgBoxShowing, nullptr, "create wnd failed", "Error", MB_OKCANCEL);
    return nullptr;
  }
  toolbar->centre();
  toolbar->show();
  UpdateWindow(static_cast<HWND>(toolbar->window()));
  return toolbar;
}

}  // namespace vantrel
