#include "console/x11/x_display.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace vantrel::cli {
namespace {

thread_local unsigned long errors = 0;
std::atomic<bool> lost{false};
std::function<void()> lostListener;

int countError(Display*, XErrorEvent*) {
  ++errors;
  return 0;
}

// Xlib's own handlers print a line and end the process. Since libX11 1.7 a program may live on
// when both return: the call that met the loss returns, and so does every later one.
int ignoreLoss(Display*) { return 0; }

void noteLoss(Display*, void*) {
  if (!lost.exchange(true) && lostListener) lostListener();
}

}  // namespace

void DisplayCloser::operator()(Display* d) const {
  if (d == nullptr) return;
  if (!displayLost()) {
    XCloseDisplay(d);
    return;
  }
  static std::mutex keptLock;
  static std::vector<Display*> kept;
  std::lock_guard guard(keptLock);
  kept.push_back(d);
}

DisplayHandle openDisplay(const std::string& name, std::string& error) {
  static std::once_flag handlersSet;
  std::call_once(handlersSet, [] {
    XSetErrorHandler(countError);
    XSetIOErrorHandler(ignoreLoss);
  });
  DisplayHandle display(XOpenDisplay(name.empty() ? nullptr : name.c_str()));
  if (!display) {
    error = "cannot open the X display '" + displayName(name) + "'";
    return display;
  }
  XSetIOErrorExitHandler(display.get(), noteLoss, nullptr);
  return display;
}

std::string displayName(const std::string& name) {
  const char* shown = XDisplayName(name.empty() ? nullptr : name.c_str());
  return shown != nullptr ? shown : "";
}

unsigned long xErrorCount() { return errors; }

bool displayLost() { return lost; }

void onDisplayLost(std::function<void()> listener) { lostListener = std::move(listener); }

}  // namespace vantrel::cli
