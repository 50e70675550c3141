#pragma once
// Finds the message boxes of this process (or of every process) as they come up, records their
// text, caption and owner, and presses OK on them, so that a modal box never blocks a test.
// While `hold` is set it records but leaves them up.

#include <windows.h>

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace vantrel::wintest {

struct SeenBox {
  std::string text;
  std::string caption;
  HWND owner = nullptr;
};

class BoxWatcher {
 public:
  static constexpr DWORD kAnyProcess = 0;

  explicit BoxWatcher(DWORD process = GetCurrentProcessId());
  ~BoxWatcher();

  void hold(bool on) { hold_ = on; }
  std::vector<SeenBox> boxes() const;
  std::size_t count() const;
  void clear();
  // Boxes up right now.
  std::size_t showing() const { return showing_.load(); }

 private:
  void watch();
  void look();

  DWORD process_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> hold_{false};
  std::atomic<std::size_t> showing_{0};
  mutable std::mutex mutex_;
  std::vector<SeenBox> boxes_;
  std::set<HWND> recorded_;
  std::thread thread_;
};

}  // namespace vantrel::wintest
