#pragma once
// A keyboard with a fake layout behind it: keys go down and up as the tests say, and the
// character translation follows the layout's table the way ToAscii follows a real one.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "input/keyboard_port.h"

namespace vantrel::test {

inline constexpr int kDead = 0x100;  // or-ed into a character: the key is a dead key

// What one key types at each shift level; 0 for nothing.
struct FakeKey {
  std::uint32_t virtualKey;
  int plain;
  int shifted;
  int altGr;
};

// The keys a layout lists; a letter it leaves out types itself, lower case unless shifted.
using FakeLayout = std::vector<FakeKey>;

FakeLayout usLayout();
FakeLayout usInternationalLayout();  // the apostrophe, grave, circumflex and quote keys are dead
// German, on code page 1252 (AltGr+E is 0x80), with a dead diaeresis on Shift+^ in place of
// the degree sign so that one layout holds a dead key the console has no keysym for.
FakeLayout germanLayout();

// The parameters of the window message a key sends.
struct KeyMessage {
  std::uint32_t virtualKey;
  std::uint32_t keyData;
};

class FakeKeyboard final : public KeyboardPort {
 public:
  explicit FakeKeyboard(FakeLayout layout) : layout_(std::move(layout)) {}

  // `virtualKey` names the physical key, left and right apart; the message carries the generic
  // code, with the extended bit for the right Ctrl and Alt. Caps Lock toggles on each press.
  KeyMessage press(std::uint32_t virtualKey);
  KeyMessage release(std::uint32_t virtualKey);
  // Makes reading the keyboard state throw the library's Exception.
  void failWith(std::string message) { failure_ = std::move(message); }

  void readState(KeyboardState& state) override;
  int toAscii(std::uint32_t virtualKey, const KeyboardState& state, CharacterBuffer& chars) override;
  std::int16_t keyState(std::uint32_t virtualKey) override;

 private:
  std::optional<FakeKey> find(std::uint32_t virtualKey) const;

  FakeLayout layout_;
  KeyboardState keys_{};
  std::optional<std::string> failure_;
};

}  // namespace vantrel::test
