#pragma once
// SDL's key and text events as the key events the DLL's keyboard mapper sends: keys without a
// character (function, navigation, keypad, modifiers with their side) from a table, everything
// that types a character from the text the local input method produced for it, so that Shift,
// AltGr levels and dead keys come out as the desktop composed them, sent as Latin-1 keysyms.
// A key's release repeats the keysym its press sent, whatever changed in between.
//
// Pure: only SDL's key codes are used, so it is tested without a display.

#include <SDL2/SDL_keycode.h>
#include <SDL2/SDL_scancode.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace vantrel::cli {

struct KeyEvent {
  std::uint32_t keysym = 0;
  bool down = false;
  friend bool operator==(const KeyEvent&, const KeyEvent&) = default;
};

// The keysym of a key that types no character, or nothing. `modifiers` is SDL's Keymod
// (Num Lock decides what the keypad sends).
std::optional<std::uint32_t> tableKeysym(SDL_Keycode key, std::uint16_t modifiers);

// The keysym a typed character is sent as: Latin-1 characters are their own, the euro sign
// has its own; nothing for control characters and anything else.
std::optional<std::uint32_t> characterKeysym(char32_t c);

class KeyTranslator {
 public:
  // `repeat`: an auto-repeat, sent as a further press as the DLL does.
  std::vector<KeyEvent> keyDown(SDL_Scancode scancode, SDL_Keycode key, std::uint16_t modifiers);
  std::vector<KeyEvent> keyUp(SDL_Scancode scancode);
  // SDL_TEXTINPUT: the text the last key typed, or text an input method commits on its own.
  std::vector<KeyEvent> text(std::string_view utf8);
  // Whether text() has met characters it cannot send (no keysym: beyond Latin-1) since the
  // last call.
  bool takeUnsentText() { return std::exchange(unsentText_, false); }
  // Focus lost: every key this side still holds is released, then the six modifiers.
  std::vector<KeyEvent> releaseAll();

 private:
  struct Held {
    std::uint32_t keysym = 0;
    bool thirdLevel = false;  // typed with AltGr: sent with the Alt keys lifted around it
  };
  bool holds(std::uint32_t keysym) const;
  // The DLL's AltGr rule: Control_L, Alt_L and Alt_R are let go around the character, then
  // Alt_R is pressed again (and the left ones released once more).
  void sendThirdLevel(std::vector<KeyEvent>& out, std::uint32_t keysym, bool down) const;

  std::map<SDL_Scancode, Held> held_;
  // What the text right after a key press belongs to: that key, or nothing (the key was sent
  // already and its text is not wanted).
  std::optional<SDL_Scancode> textFor_;
  bool swallowText_ = false;
  bool unsentText_ = false;
};

}  // namespace vantrel::cli
