#include "box_watcher.h"

#include <utility>

namespace vantrel::wintest {
namespace {

std::string windowText(HWND window) {
  char text[2048] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string className(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

// The message text is the dialog's longest static text (the icon is a static without one).
BOOL CALLBACK longestStatic(HWND child, LPARAM out) {
  auto& best = *reinterpret_cast<std::string*>(out);
  if (_stricmp(className(child).c_str(), "Static") == 0) {
    std::string text = windowText(child);
    if (text.size() > best.size()) best = std::move(text);
  }
  return TRUE;
}

struct Search {
  DWORD process;
  std::vector<HWND> found;
};

BOOL CALLBACK collect(HWND window, LPARAM out) {
  auto& search = *reinterpret_cast<Search*>(out);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if ((search.process == BoxWatcher::kAnyProcess || process == search.process) && IsWindowVisible(window) &&
      className(window) == "#32770") {
    search.found.push_back(window);
  }
  return TRUE;
}

}  // namespace

BoxWatcher::BoxWatcher(DWORD process) : process_(process), thread_([this] { watch(); }) {}

BoxWatcher::~BoxWatcher() {
  stop_ = true;
  thread_.join();
}

void BoxWatcher::watch() {
  while (!stop_) {
    look();
    Sleep(20);
  }
}

void BoxWatcher::look() {
  Search search{process_, {}};
  EnumWindows(collect, reinterpret_cast<LPARAM>(&search));
  showing_ = search.found.size();
  const std::lock_guard lock(mutex_);
  for (HWND box : search.found) {
    if (recorded_.insert(box).second) {
      SeenBox seen;
      EnumChildWindows(box, longestStatic, reinterpret_cast<LPARAM>(&seen.text));
      seen.caption = windowText(box);
      seen.owner = GetWindow(box, GW_OWNER);
      boxes_.push_back(std::move(seen));
    }
    if (!hold_) PostMessageA(box, WM_COMMAND, IDOK, 0);
  }
  // A handle may come back for a later box once this one is gone.
  std::erase_if(recorded_, [](HWND box) { return !IsWindow(box); });
}

std::vector<SeenBox> BoxWatcher::boxes() const {
  const std::lock_guard lock(mutex_);
  return boxes_;
}

std::size_t BoxWatcher::count() const {
  const std::lock_guard lock(mutex_);
  return boxes_.size();
}

void BoxWatcher::clear() {
  const std::lock_guard lock(mutex_);
  boxes_.clear();
}

}  // namespace vantrel::wintest
