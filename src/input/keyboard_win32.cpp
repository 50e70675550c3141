#include <windows.h>

#include <cstring>

#include "input/keyboard_port.h"

namespace vantrel {
namespace {

class Win32Keyboard final : public KeyboardPort {
 public:
  void readState(KeyboardState& state) override {
    if (!GetKeyboardState(state.data())) state.fill(0);
  }

  int toAscii(std::uint32_t virtualKey, const KeyboardState& state, CharacterBuffer& chars) override {
    // ToAscii takes a WORD pointer but writes the characters as bytes.
    WORD buffer[2] = {};
    const int count = ToAscii(virtualKey, 0, state.data(), buffer, 0);
    std::memcpy(chars.data(), buffer, chars.size());
    return count;
  }

  std::int16_t keyState(std::uint32_t virtualKey) override {
    return GetKeyState(static_cast<int>(virtualKey));
  }
};

}  // namespace

KeyboardPort& systemKeyboard() {
  static Win32Keyboard keyboard;
  return keyboard;
}

}  // namespace vantrel
