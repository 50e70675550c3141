#include <windows.h>

#include <string>

#include "viewer/view_switch.h"

namespace vantrel {
namespace {

constexpr int kFullScreen = 1;
constexpr int kWindowed = 2;
constexpr const char* kTitlePrefix = "Vantrel 1.3 - Remote Console (";

ExtentI localScreen() { return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }

// The window of the host that holds everything else of it: hidden under the full-screen view.
HWND hostTopLevel(WindowRef parent) { return GetAncestor(static_cast<HWND>(parent), GA_ROOT); }

// A new style keeps the window as visible as it was; the frame follows at the next placement.
void setStyle(HWND window, DWORD style) {
  const auto visible = static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE)) & WS_VISIBLE;
  SetWindowLongPtrA(window, GWL_STYLE, static_cast<LONG_PTR>(style | visible));
}

}  // namespace

void ViewSwitch::switchView(bool windowed) {
  if (viewer_.viewerWindow() == nullptr) return;
  if (windowed) {
    leaveFullScreen();
  } else {
    enterFullScreen();
  }
}

void ViewSwitch::enterFullScreen() {
  const auto window = static_cast<HWND>(viewer_.viewerWindow());
  settings_.sessionState->store(1);
  // Back to the origin while the limits are still the windowed view's.
  const ScrollState scroll = viewer_.scrollState();
  if (scroll.scrollY != 0) viewer_.scrollView(0, -scroll.scrollY);
  if (viewer_.scrollState().scrollX != 0) viewer_.scrollView(-viewer_.scrollState().scrollX, 0);

  settings_.viewMode->store(kFullScreen);
  fullScreen_ = true;
  const Placement p =
      enterFullScreenPlacement(viewer_.neededSize(), localScreen(), viewer_.remoteSize(), settings_.view);
  setStyle(window, p.bordered ? WS_CLIPCHILDREN | WS_BORDER : WS_CLIPCHILDREN);
  SetWindowTextA(window, (kTitlePrefix + settings_.titleAddress + ")").c_str());
  SetParent(window, nullptr);
  ShowWindow(hostTopLevel(settings_.parentWindow), SW_HIDE);
  SetWindowPos(window, HWND_TOP, p.x, p.y, p.width, p.height, SWP_FRAMECHANGED | SWP_SHOWWINDOW);
  // With the host hidden, keys have nowhere else to go.
  SetFocus(window);

  if (toolbarPending_) {
    toolbar_ = ConsoleToolbar::create(window, settings_.instance, *this, *settings_.messages);
    toolbarPending_ = false;
  } else {
    showToolbar();
  }
}

void ViewSwitch::leaveFullScreen() {
  const auto window = static_cast<HWND>(viewer_.viewerWindow());
  const auto parent = static_cast<HWND>(settings_.parentWindow);
  settings_.viewMode->store(kWindowed);
  fullScreen_ = false;
  RECT outer{};
  GetWindowRect(parent, &outer);
  const WindowFrame f = leaveFullScreenFrame({outer.right - outer.left, outer.bottom - outer.top},
                                             viewer_.remoteSize(), GetSystemMetrics(SM_CYVTHUMB));
  // Back into the host's window first, so that the position is taken in its coordinates.
  setStyle(window, WS_CHILD | WS_CLIPCHILDREN | WS_BORDER);
  SetParent(window, parent);
  SetWindowPos(window, HWND_TOP, f.x, f.y, f.width, f.height, SWP_FRAMECHANGED);
  PostMessageA(window, WM_SIZE, 0, 0);
  ShowWindow(hostTopLevel(settings_.parentWindow), SW_SHOW);
  hideToolbar();
}

void ViewSwitch::moveHostToWorkArea() {
  RECT work{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  const HWND host = hostTopLevel(settings_.parentWindow);
  RECT outer{};
  GetWindowRect(host, &outer);
  MoveWindow(host, 0, work.top, outer.right - outer.left, outer.bottom - outer.top, TRUE);
}

void ViewSwitch::showHostAgain() {
  if (fullScreen_) ShowWindow(hostTopLevel(settings_.parentWindow), SW_SHOW);
}

void ViewSwitch::pointerAt(int clientX, int clientY) {
  PointerAtEdge pointer{clientX, clientY, viewer_.scrollContext(), viewer_.scrollState(), std::nullopt};
  if (toolbar_) pointer.toolbar = toolbar_->span();
  const EdgeResponse response = respondToEdge(pointer);
  if (response.toolbar == ToolbarChange::Show) showToolbar();
  if (response.toolbar == ToolbarChange::Hide) hideToolbar();
  for (const ScrollStep& step : response.scrolls) viewer_.scrollView(step.dx, step.dy);
}

void ViewSwitch::centreToolbar() {
  if (toolbar_) toolbar_->centre();
}

void ViewSwitch::showToolbar() {
  if (toolbar_) toolbar_->show();
}

void ViewSwitch::hideToolbar() {
  if (toolbar_) toolbar_->hide();
}

void ViewSwitch::requestSessionEnd() { settings_.sessionState->store(2); }

void ViewSwitch::returnToWindowedView() {
  switchView(true);
  moveHostToWorkArea();
  settings_.sessionState->store(4);
}

}  // namespace vantrel
