#include "support/key_event_log.h"

#include <cstdint>
#include <cstdio>

namespace vantrel::test {

std::string keyEventEntry(std::uint32_t keysym, bool down) {
  char entry[16];
  std::snprintf(entry, sizeof entry, "%c%x", down ? '+' : '-', keysym);
  return entry;
}

bool KeyEventLog::sendKeyEvent(std::uint32_t keysym, bool down) {
  entries_.push_back(keyEventEntry(keysym, down));
  return linkUp_;
}

bool KeyEventLog::sendSpecialRequest(SpecialRequest request) {
  entries_.push_back("request " + std::to_string(static_cast<unsigned>(request)));
  return linkUp_;
}

void KeyEventLog::show(WindowRef owner, const std::string& text, const std::string& caption,
                       unsigned style) {
  const auto ownerBits = reinterpret_cast<std::uintptr_t>(owner);
  entries_.push_back("box " + text + " | " + caption + " | " + std::to_string(style) + " | owner " +
                     std::to_string(ownerBits));
}

}  // namespace vantrel::test
