#pragma once
// Records, in one list, what the keyboard code does to the outside: key events as "+63" (press)
// and "-63" (release) in hex, "request 14", "focus", "close" and
// "box text | caption | style | owner N", so that tests see the order across all of them.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "catalog/message_box.h"
#include "input/key_event_sink.h"
#include "input/viewer_window_port.h"

namespace vantrel::test {

// The entry of one key event: "+" or "-" and the keysym in hex.
std::string keyEventEntry(std::uint32_t keysym, bool down);

class KeyEventLog final : public KeyEventSink, public ViewerWindowPort, public MessageBoxPort {
 public:
  bool sendKeyEvent(std::uint32_t keysym, bool down) override;
  bool sendSpecialRequest(SpecialRequest request) override;
  void takeFocus() override { entries_.push_back("focus"); }
  void requestClose() override { entries_.push_back("close"); }
  void show(WindowRef owner, const std::string& text, const std::string& caption, unsigned style) override;

  // While false, sends are recorded but report failure, as over a broken link.
  void setLinkUp(bool up) { linkUp_ = up; }
  // The entries so far; the log starts empty again.
  std::vector<std::string> take() { return std::exchange(entries_, {}); }

 private:
  std::vector<std::string> entries_;
  bool linkUp_ = true;
};

}  // namespace vantrel::test
