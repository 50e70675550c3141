#include "console/x11/x_display.h"

#include <mutex>

namespace vantrel::cli {
namespace {

thread_local unsigned long errors = 0;

int countError(Display*, XErrorEvent*) {
  ++errors;
  return 0;
}

}  // namespace

DisplayHandle openDisplay(const std::string& name, std::string& error) {
  static std::once_flag handlerSet;
  std::call_once(handlerSet, [] { XSetErrorHandler(countError); });
  DisplayHandle display(XOpenDisplay(name.empty() ? nullptr : name.c_str()));
  if (!display) {
    const char* shown = name.empty() ? XDisplayName(nullptr) : name.c_str();
    error = std::string("cannot open the X display '") + (shown != nullptr ? shown : "") + "'";
  }
  return display;
}

unsigned long xErrorCount() { return errors; }

}  // namespace vantrel::cli
