#pragma once
// A test X client with one window over the whole screen, holding the keyboard focus: it records
// the keysyms of the key presses and the button and motion events it receives.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vantrel::test {

class XListener {
 public:
  explicit XListener(const std::string& display);
  ~XListener();
  XListener(const XListener&) = delete;
  XListener& operator=(const XListener&) = delete;

  bool ok() const { return display_ != nullptr; }
  // Key presses as keysyms (modifier keys left out), in order, until `count` have come or the
  // time is up.
  std::vector<std::uint32_t> keysPressed(std::size_t count, std::chrono::milliseconds within);
  // "press 1", "release 3"... likewise.
  std::vector<std::string> buttons(std::size_t count, std::chrono::milliseconds within);
  // Keys the server holds down now.
  int keysDown();
  // Where the pointer is.
  std::pair<int, int> pointer();

 private:
  void pump(std::chrono::milliseconds within, const std::function<bool()>& enough);
  void* display_ = nullptr;
  unsigned long window_ = 0;
  std::vector<std::uint32_t> keys_;
  std::vector<std::string> buttons_;
};

}  // namespace vantrel::test
