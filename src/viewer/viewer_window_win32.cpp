#include <windows.h>

#include <atomic>
#include <memory>
#include <optional>

#include "api/consoleclient.h"
#include "catalog/message_catalog.h"
#include "clipboard/clipboard_viewer.h"
#include "input/key_mapper.h"
#include "input/keyboard_port.h"
#include "input/special_keys.h"
#include "protocol/console_link.h"
#include "resources/resource_ids.h"
#include "screen/gdi_surface.h"
#include "viewer/client_connection.h"
#include "viewer/view_layout.h"
#include "viewer/view_switch.h"
#include "viewer/viewer_window.h"
#include "viewer/window_object_win32.h"

namespace vantrel {
namespace {

constexpr DWORD kViewerStyle = WS_CHILD | WS_CLIPCHILDREN | WS_VSCROLL | WS_HSCROLL;
constexpr int kFullScreen = 1;

// Left Alt, left Control, left Shift, right Alt, right Control, right Shift: released when the
// viewer loses the focus, so that no modifier stays down on the server.
constexpr std::uint32_t kModifierReleases[] = {0xFFE9, 0xFFE3, 0xFFE1, 0xFFEA, 0xFFE4, 0xFFE2};

struct PointerState {
  std::uint16_t x = 0;
  std::uint16_t y = 0;
  std::uint8_t mask = 0;
  bool operator==(const PointerState&) const = default;
};

LRESULT CALLBACK ViewerWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

ExtentI localScreen() { return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }

ExtentI outerSize(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return {r.right - r.left, r.bottom - r.top};
}

class Win32ViewerWindow final : public ViewerWindow, public ViewSwitchHost {
 public:
  Win32ViewerWindow(const ViewerSettings& settings, ConsoleLink& link)
      : settings_(settings),
        link_(link),
        viewSwitch_(settings_, *this),
        surface_(makeGdiSurface()),
        fallbackCatalog_(""),
        keyMapper_(systemKeyboard(), *this, *this,
                   KeyFailureReport{*settings.messages->boxes, settings.messages->msgBoxShowing,
                                    settings.messages->catalog ? *settings.messages->catalog : fallbackCatalog_,
                                    settings.messages->language, settings.messages->ownerWindow}),
        clipboard_(*settings.messages) {}

  ~Win32ViewerWindow() override {
    detach();
    if (HANDLE thread = receiveThread_.exchange(nullptr)) CloseHandle(thread);
  }

  // --- SessionWindowPort ---------------------------------------------------------------

  bool createViewerWindow(ClientConnection& connection) override {
    connection_ = &connection;
    windowThread_ = GetCurrentThreadId();
    const auto instance = static_cast<HINSTANCE>(settings_.instance);
    const std::string& className = settings_.messages->caption;
    WNDCLASSA windowClass{};
    windowClass.style = 0;  // no double clicks: a double click arrives as two down/up pairs
    windowClass.lpfnWndProc = ViewerWndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(VANTREL_IDI_VIEWER));
    windowClass.hCursor = LoadCursorA(instance, MAKEINTRESOURCEA(VANTREL_IDC_VIEWER));
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = className.c_str();
    if (RegisterClassA(&windowClass) == 0) {
      if (GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        settings_.messages->showCatalogBox(settings_.messages->ownerWindow, "SystemVersionFailed");
        return false;
      }
      // Left behind by an earlier session in this process: ours replaces it.
      UnregisterClassA(className.c_str(), instance);
      RegisterClassA(&windowClass);
    }
    HWND window = CreateWindowExA(0, className.c_str(), nullptr, kViewerStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, static_cast<HWND>(settings_.parentWindow), nullptr,
                                  instance, this);
    if (window == nullptr) return false;
    window_ = window;
    ShowWindow(window, SW_SHOWDEFAULT);
    SetFocus(window);
    UpdateWindow(window);
    clipboard_.join(window);
    return true;
  }

  WindowRef viewerWindow() const override { return window_.load(); }

  void updateWindow() override {
    learnReceiveThread();
    if (HWND window = window_.load()) UpdateWindow(window);
  }

  bool parentVisible() const override { return IsWindowVisible(parent()) != FALSE; }
  WindowRef parentOfParent() const override { return GetParent(parent()); }
  int viewMode() const override { return settings_.viewMode->load(); }

  // On the receive thread: the window calls reach the window's thread as sent messages.
  void fitWindow() override {
    HWND window = window_.load();
    const ExtentI screen = localScreen();
    if (!settings_.view.anyLocalScreen && !isSupportedLocalScreen(screen)) {
      settings_.messages->showText(settings_.messages->ownerWindow, kLocalResolutionWarning);
      requestSessionEnd();
      return;
    }
    if (window == nullptr || connection_ == nullptr) return;
    const ExtentI remote = remoteSize();
    RECT r{0, 0, remote.width, remote.height};
    AdjustWindowRectEx(&r, 0, FALSE, static_cast<DWORD>(GetWindowLongPtrA(window, GWL_EXSTYLE)));
    const ExtentI needed{r.right - r.left, r.bottom - r.top};
    neededWidth_ = needed.width;
    neededHeight_ = needed.height;
    Placement p;
    if (viewMode() != kFullScreen) {
      p = windowedPlacement(needed, settings_.area, screen, remote, outerSize(parent()).height);
    } else {
      p = fullScreenPlacement(needed, settings_.area, screen, remote, settings_.view);
      SetWindowLongPtrA(window, GWL_STYLE, p.bordered ? WS_CLIPCHILDREN | WS_BORDER : WS_CLIPCHILDREN);
    }
    windowWidth_ = p.windowWidth;
    windowHeight_ = p.windowHeight;
    // A new border takes effect with the placement.
    SetWindowPos(window, HWND_TOP, p.x, p.y, p.width, p.height,
                 viewMode() == kFullScreen ? SWP_SHOWWINDOW | SWP_FRAMECHANGED : SWP_SHOWWINDOW);
  }

  void postSizeMessage() override {
    if (HWND window = window_.load()) PostMessageA(window, WM_SIZE, 0, 0);
  }

  void requestSessionEnd() override { settings_.sessionState->store(2); }

  // --- ClipboardPort ---------------------------------------------------------------------

  // On the receive thread. A window already gone means the session is ending: nothing to keep.
  void setLocalClipboard(std::span<const std::uint8_t> text) override {
    if (HWND window = window_.load()) clipboard_.setLocalClipboard(window, text);
  }

  // --- KeyEventSink ------------------------------------------------------------------------

  bool sendKeyEvent(std::uint32_t keysym, bool down) override {
    ConsoleMessage event = keyEventMessage(keysym, down);
    return link_.sendMessage(event);
  }

  bool sendSpecialRequest(SpecialRequest request) override {
    ConsoleMessage event = controlMessage(static_cast<std::uint16_t>(request));
    return link_.sendMessage(event);
  }

  // --- ViewerWindowPort ----------------------------------------------------------------

  void takeFocus() override {
    if (HWND window = window_.load()) SetFocus(window);
  }
  void requestClose() override {
    if (HWND window = window_.load()) PostMessageA(window, WM_CLOSE, 0, 0);
  }

  // --- ViewerWindow --------------------------------------------------------------------

  SurfacePort& surface() override { return *surface_; }

  void switchView(bool windowed) override { viewSwitch_.switchView(windowed); }

  void close() override {
    viewSwitch_.showHostAgain();
    HWND window = window_.load();
    if (window == nullptr) return;
    SendMessageA(window, WM_CLOSE, 0, 0);
    if (IsWindow(window)) DestroyWindow(window);
  }

  void detach() override {
    // Without its window the receive thread has nothing to draw into: it is asked to end,
    // whether or not the window's destruction still comes.
    if (connection_ != nullptr) connection_->requestStop();
    if (HWND window = window_.exchange(nullptr)) {
      if (IsWindow(window)) SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    }
    // A window that outlives its session would otherwise keep its place in the chain unserved.
    clipboard_.leave();
    connection_ = nullptr;
  }

  void* receiveThread() const override { return receiveThread_.load(); }

  // --- ViewSwitchHost ------------------------------------------------------------------

  ExtentI remoteSize() const override {
    if (connection_ == nullptr) return {};
    const DisplayState& display = connection_->display();
    return {static_cast<int>(display.remoteWidth()), static_cast<int>(display.remoteHeight())};
  }
  ExtentI neededSize() const override { return {neededWidth_.load(), neededHeight_.load()}; }
  ScrollState scrollState() const override { return scroll_; }
  ScrollContext scrollContext() const override {
    return {!windowed(), localScreen(), remoteSize(), settings_.view.anyLocalScreen, scaled_.has_value()};
  }
  void scrollView(int dx, int dy) override {
    if (HWND window = window_.load(); window != nullptr && connection_ != nullptr) scrollView(window, dx, dy);
  }
  void sendSpecialSequence(std::uint32_t code) override { vantrel::sendSpecialSequence(code, this, *this); }

  // --- the window procedure -------------------------------------------------------------

  LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  HWND parent() const { return static_cast<HWND>(settings_.parentWindow); }
  bool inputEnabled() const { return settings_.inputEnabled->load() != 0; }
  bool windowed() const { return viewMode() != kFullScreen; }

  void learnReceiveThread() {
    if (receiveThread_.load() != nullptr || GetCurrentThreadId() == windowThread_) return;
    HANDLE thread = OpenThread(SYNCHRONIZE | THREAD_TERMINATE | THREAD_QUERY_LIMITED_INFORMATION, FALSE,
                               GetCurrentThreadId());
    HANDLE none = nullptr;
    if (thread != nullptr && !receiveThread_.compare_exchange_strong(none, thread)) CloseHandle(thread);
  }

  void onCreate(HWND window) {
    window_ = window;
    surface_->setWindow(window);
    // The result does not matter here: a lost link shows in the receive loop.
    if (connection_ != nullptr) connection_->announceSurface(true);
  }

  void onDestroy() {
    clipboard_.leave();
    if (connection_ != nullptr) {
      sendKeyEvent(kReleaseAllKeys, false);
      window_ = nullptr;
      connection_->requestStop();
    }
  }

  void layoutView(HWND window, WPARAM wParam) {
    // Showing a bar, or a scroll range that makes the system show one, resizes the client
    // and re-enters here; a bar that keeps flipping must not recurse without end.
    if (layoutDepth_ >= kLayoutDepthLimit) return;
    ++layoutDepth_;
    layoutViewOnce(window, wParam);
    --layoutDepth_;
  }

  void layoutViewOnce(HWND window, WPARAM wParam) {
    const bool isWindowed = windowed();
    if (isWindowed) {
      const ExtentI outer = outerSize(window);
      windowWidth_ = outer.width;
      windowHeight_ = outer.height;
    }
    const ExtentI remote = remoteSize();
    const bool scaled = scaledView(settings_.view, !isWindowed, remote, localScreen(), settings_.area);
    const ViewKind kind = scaled ? ViewKind::Scaled : isWindowed ? ViewKind::Windowed : ViewKind::FullScreen;
    // Showing or hiding a bar resizes the client area and comes back here re-entrantly; the
    // inner pass finds the bars as they should be and finishes the layout first.
    const ScrollBarVisibility bars =
        scrollBarsFor(kind, {windowWidth_.load(), windowHeight_.load()}, {neededWidth_.load(), neededHeight_.load()});
    ShowScrollBar(window, SB_HORZ, bars.horizontal);
    ShowScrollBar(window, SB_VERT, bars.vertical);

    RECT client{};
    GetClientRect(window, &client);
    const ScrollState next = layoutScroll(scroll_, kind, {client.right, client.bottom}, remote, bars);
    const int dx = scroll_.scrollX - next.scrollX, dy = scroll_.scrollY - next.scrollY;
    if (dx != 0 || dy != 0) ScrollWindowEx(window, dx, dy, nullptr, &client, nullptr, nullptr, SW_INVALIDATE);
    setScroll(next);
    setScaled(scaled ? std::optional(fitView(remote, {client.right, client.bottom}, true)) : std::nullopt);
    // Only the windowed 1:1 view has bars to set; setting a range elsewhere could bring one back.
    if (kind == ViewKind::Windowed) updateScrollBars(window);
    if (wParam == 0 || scaled) InvalidateRect(window, nullptr, FALSE);
    viewSwitch_.centreToolbar();
  }

  // The picture the drawing on the receive thread scales into, changed under the surface lock.
  void setScaled(const std::optional<ViewLayout>& layout) {
    if (layout == scaled_) return;
    scaled_ = layout;
    connection_->display().withSurfaceLocked([&] { surface_->setScaledView(layout); });
  }

  void updateScrollBars(HWND window) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    info.nMin = 0;
    info.nMax = scroll_.scrollRangeX;
    info.nPage = static_cast<UINT>(std::max(scroll_.viewWidth, 0));
    info.nPos = scroll_.scrollX;
    SetScrollInfo(window, SB_HORZ, &info, TRUE);
    info.nMax = scroll_.scrollRangeY;
    info.nPage = static_cast<UINT>(std::max(scroll_.viewHeight, 0));
    info.nPos = scroll_.scrollY;
    SetScrollInfo(window, SB_VERT, &info, TRUE);
  }

  void scrollView(HWND window, int dx, int dy) {
    const ScrollStep step = limitScroll(scroll_, scrollContext(), dx, dy);
    if (step.dx == 0 && step.dy == 0) return;
    ScrollState next = scroll_;
    next.scrollX += step.dx;
    next.scrollY += step.dy;
    setScroll(next);
    RECT client{};
    GetClientRect(window, &client);
    ScrollWindowEx(window, -step.dx, -step.dy, nullptr, &client, nullptr, nullptr, SW_INVALIDATE);
    if (windowed()) updateScrollBars(window);
    UpdateWindow(window);
  }

  void setScroll(const ScrollState& next) {
    scroll_ = next;
    connection_->display().setScroll({next.scrollX, next.scrollY});
  }

  void onScrollBar(HWND window, bool horizontal, WPARAM wParam) {
    const auto request = LOWORD(wParam), thumb = HIWORD(wParam);
    if (horizontal) {
      scrollView(window, scrollRequestDelta(request, thumb, scroll_.viewWidth, scroll_.scrollX), 0);
    } else {
      scrollView(window, 0, scrollRequestDelta(request, thumb, scroll_.viewHeight, scroll_.scrollY));
    }
  }

  void onMouse(HWND window, WPARAM wParam, LPARAM lParam) {
    SetFocus(window);
    if (inputEnabled()) sendPointerEvent(LOWORD(lParam), HIWORD(lParam), wParam);
    if (connection_ != nullptr) viewSwitch_.pointerAt(LOWORD(lParam), HIWORD(lParam));
  }

  void sendPointerEvent(unsigned clientX, unsigned clientY, WPARAM keys) {
    PointerState now;
    now.mask = static_cast<std::uint8_t>(((keys & MK_LBUTTON) ? 1 : 0) | ((keys & MK_RBUTTON) ? 4 : 0));
    if (scaled_) {
      // Corners of the picture onto the remote corners; the bars count as the nearest edge.
      const Point at = remotePoint(*scaled_, {static_cast<std::int16_t>(clientX), static_cast<std::int16_t>(clientY)});
      now.x = static_cast<std::uint16_t>(at.x);
      now.y = static_cast<std::uint16_t>(at.y);
    } else {
      now.x = static_cast<std::uint16_t>(clientX + static_cast<unsigned>(scroll_.scrollX));
      now.y = static_cast<std::uint16_t>(clientY + static_cast<unsigned>(scroll_.scrollY));
    }
    if (lastPointer_ == now) return;
    ConsoleMessage event = pointerEventMessage(now.x, now.y, now.mask);
    link_.sendMessage(event);
    lastPointer_ = now;
  }

  ViewerSettings settings_;
  ConsoleLink& link_;
  ViewSwitch viewSwitch_;
  std::unique_ptr<GdiSurface> surface_;
  MessageCatalog fallbackCatalog_;  // only when the session has no catalogue: boxes read "No Text"
  KeyMapper keyMapper_;
  ClipboardViewer clipboard_;
  ClientConnection* connection_ = nullptr;
  std::atomic<HWND> window_{nullptr};
  DWORD windowThread_ = 0;
  std::atomic<HANDLE> receiveThread_{nullptr};
  std::optional<PointerState> lastPointer_;
  // Window thread only.
  ScrollState scroll_{};
  std::optional<ViewLayout> scaled_;  // the picture when the view is scaled
  static constexpr int kLayoutDepthLimit = 4;
  int layoutDepth_ = 0;
  // Written by fitWindow on the receive thread, read by the layout on the window thread.
  std::atomic<int> windowWidth_{0}, windowHeight_{0}, neededWidth_{0}, neededHeight_{0};
};

// The registered message a host may send to read how many updates have been drawn.
UINT updatesDrawnMessage() {
  static const UINT registered = RegisterWindowMessageA(CONSOLECLIENT_UPDATES_DRAWN_MESSAGE);
  return registered;
}

LRESULT Win32ViewerWindow::handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == updatesDrawnMessage() && message != 0) {
    return connection_ != nullptr ? static_cast<LRESULT>(connection_->display().updatesDrawn()) : 0;
  }
  switch (message) {
    case WM_CREATE:
      onCreate(window);
      return 0;
    case WM_DESTROY:
      onDestroy();
      return 0;
    case WM_SIZE:
    case WM_WINDOWPOSCHANGED:
      if (connection_ != nullptr) layoutView(window, message == WM_SIZE ? wParam : 0);
      return 0;
    case WM_ACTIVATE:
      if (wParam != 0 && connection_ != nullptr && connection_->display().surfaceBitCount() <= 8) {
        InvalidateRect(window, nullptr, FALSE);  // the palette is realised again in the paint
        UpdateWindow(window);
      }
      break;
    case WM_SETFOCUS:
      return 0;
    case WM_KILLFOCUS:
      if (connection_ != nullptr) {
        for (std::uint32_t keysym : kModifierReleases) sendKeyEvent(keysym, false);
      }
      return 0;
    case WM_PAINT:
      if (connection_ != nullptr) connection_->display().paintWindow(window);
      break;
    case WM_CLOSE:
      if (connection_ != nullptr) connection_->requestStop();
      DestroyWindow(window);
      return 0;
    case WM_ERASEBKGND:
      return 0;
    case WM_DISPLAYCHANGE:
      if (connection_ != nullptr) connection_->announceSurface(false);
      return 0;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
      // Never to the default procedure: Alt+F4 and Alt+Space belong to the remote system.
      if (inputEnabled()) keyMapper_.processKeyEvent(static_cast<std::uint32_t>(wParam), static_cast<std::uint32_t>(lParam));
      return 0;
    case WM_CHAR:
    case WM_DEADCHAR:
    case WM_SYSCHAR:
    case WM_SYSDEADCHAR:
      return 0;
    case WM_HSCROLL:
    case WM_VSCROLL:
      if (connection_ != nullptr) onScrollBar(window, message == WM_HSCROLL, wParam);
      return 0;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
      onMouse(window, wParam, lParam);
      return 0;
    case WM_SIZING: {
      auto* r = reinterpret_cast<RECT*>(lParam);
      const RectI pinned = pinSizingRect(static_cast<int>(wParam), {r->left, r->top, r->right, r->bottom},
                                         settings_.area, windowWidth_.load(), windowHeight_.load());
      *r = RECT{pinned.left, pinned.top, pinned.right, pinned.bottom};
      return 0;
    }
    case WM_DRAWCLIPBOARD:
      // Whatever inputEnabled says: a paused session still keeps the clipboards in step.
      if (connection_ != nullptr) {
        if (auto text = clipboard_.localText(window, connection_->maxClipboardSend)) connection_->sendClipboardText(*text);
      }
      clipboard_.passOn();
      return 0;
    case WM_CHANGECBCHAIN:
      clipboard_.chainChanged(reinterpret_cast<HWND>(wParam), reinterpret_cast<HWND>(lParam));
      return 0;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// Messages that belong to a window's creation, destruction or showing itself: showing the
// window from inside them would re-enter the window manager.
bool showsFromHere(UINT message) {
  switch (message) {
    case WM_NCCREATE: case WM_NCCALCSIZE: case WM_CREATE: case WM_GETMINMAXINFO: case WM_DESTROY:
    case WM_NCDESTROY: case WM_SHOWWINDOW: case WM_WINDOWPOSCHANGING: case WM_WINDOWPOSCHANGED: case WM_CLOSE:
      return false;
    default:
      return true;
  }
}

LRESULT CALLBACK ViewerWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = windowObject<Win32ViewerWindow>(window, message, lParam);
  if (self == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  // The viewer stays visible whatever the host does with it.
  if (showsFromHere(message) && (GetWindowLongPtrA(window, GWL_STYLE) & WS_VISIBLE) == 0) ShowWindow(window, SW_SHOW);
  return self->handle(window, message, wParam, lParam);
}

}  // namespace

std::unique_ptr<ViewerWindow> ViewerWindow::create(const ViewerSettings& settings, ConsoleLink& link) {
  return std::make_unique<Win32ViewerWindow>(settings, link);
}

}  // namespace vantrel
