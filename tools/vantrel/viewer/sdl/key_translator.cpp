#include "viewer/sdl/key_translator.h"

#include <array>
#include <utility>

#include "input/keysyms.h"
#include "latin1_text.h"

namespace vantrel::cli {
namespace {

constexpr std::uint32_t kShiftL = 0xFFE1;
constexpr std::uint32_t kShiftR = 0xFFE2;

constexpr std::array<std::pair<SDL_Keycode, std::uint32_t>, 38> kTable = {{
    {SDLK_BACKSPACE, 0xFF08},
    {SDLK_TAB, 0xFF09},
    {SDLK_CLEAR, 0xFF0B},
    {SDLK_RETURN, 0xFF0D},
    {SDLK_KP_ENTER, 0xFF0D},
    {SDLK_RETURN2, 0xFF0D},
    {SDLK_LSHIFT, kShiftL},
    {SDLK_RSHIFT, kShiftR},
    {SDLK_LCTRL, keysym::kControlL},
    {SDLK_RCTRL, keysym::kControlR},
    {SDLK_LALT, keysym::kAltL},
    {SDLK_RALT, keysym::kAltR},
    {SDLK_MODE, keysym::kAltR},  // AltGr where the layout calls it Mode_switch: the right Alt key
    {SDLK_PAUSE, 0xFF13},
    {SDLK_CAPSLOCK, 0xFFE5},
    {SDLK_ESCAPE, 0xFF1B},
    {SDLK_PAGEUP, 0xFF55},
    {SDLK_PAGEDOWN, 0xFF56},
    {SDLK_END, 0xFF57},
    {SDLK_HOME, 0xFF50},
    {SDLK_LEFT, 0xFF51},
    {SDLK_UP, 0xFF52},
    {SDLK_RIGHT, 0xFF53},
    {SDLK_DOWN, 0xFF54},
    {SDLK_SELECT, 0xFF60},
    {SDLK_EXECUTE, 0xFF62},
    {SDLK_PRINTSCREEN, 0xFF61},
    {SDLK_INSERT, 0xFF63},
    {SDLK_DELETE, 0xFFFF},
    {SDLK_HELP, 0xFF6A},
    {SDLK_KP_MULTIPLY, 0xFFAA},
    {SDLK_KP_PLUS, 0xFFAB},
    {SDLK_KP_COMMA, 0xFFAC},
    {SDLK_KP_MINUS, 0xFFAD},
    {SDLK_KP_DIVIDE, 0xFFAF},
    {SDLK_NUMLOCKCLEAR, 0xFF7F},
    {SDLK_SCROLLLOCK, 0xFF14},
    {SDLK_APPLICATION, 0},  // no keysym, as the DLL sends none for it; listed so it types nothing
}};

// The keypad's digits and point: with Num Lock the KP_ keysyms, without it the navigation keys
// they are labelled with.
struct KeypadKey {
  SDL_Keycode key;
  std::uint32_t withNumLock;
  std::uint32_t without;
};
constexpr std::array<KeypadKey, 11> kKeypad = {{
    {SDLK_KP_0, 0xFFB0, 0xFF63},
    {SDLK_KP_1, 0xFFB1, 0xFF57},
    {SDLK_KP_2, 0xFFB2, 0xFF54},
    {SDLK_KP_3, 0xFFB3, 0xFF56},
    {SDLK_KP_4, 0xFFB4, 0xFF51},
    {SDLK_KP_5, 0xFFB5, 0xFF0B},
    {SDLK_KP_6, 0xFFB6, 0xFF53},
    {SDLK_KP_7, 0xFFB7, 0xFF50},
    {SDLK_KP_8, 0xFFB8, 0xFF52},
    {SDLK_KP_9, 0xFFB9, 0xFF55},
    {SDLK_KP_PERIOD, 0xFFAE, 0xFFFF},
}};

bool isModifier(std::uint32_t keysym) { return keysym >= kShiftL && keysym <= keysym::kAltR; }

// A character key pressed with Control or the left Alt types no text (or none we want): it is
// sent as the key's own character, upper case with Shift or Caps Lock as the DLL does.
std::optional<std::uint32_t> shortcutKeysym(SDL_Keycode key, std::uint16_t modifiers) {
  if (key < 0x20 || key > 0xFF || (key >= 0x7F && key < 0xA0)) return std::nullopt;
  auto c = static_cast<std::uint32_t>(key);
  const bool upper = ((modifiers & KMOD_SHIFT) != 0) != ((modifiers & KMOD_CAPS) != 0);
  const bool lowerLetter = (c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7);
  if (upper && lowerLetter) c -= 0x20;
  return c;
}

}  // namespace

std::optional<std::uint32_t> tableKeysym(SDL_Keycode key, std::uint16_t modifiers) {
  if (key >= SDLK_F1 && key <= SDLK_F12) return 0xFFBE + static_cast<std::uint32_t>(key - SDLK_F1);
  if (key >= SDLK_F13 && key <= SDLK_F24) return 0xFFCA + static_cast<std::uint32_t>(key - SDLK_F13);
  for (const auto& k : kKeypad) {
    if (k.key == key) return (modifiers & KMOD_NUM) != 0 ? k.withNumLock : k.without;
  }
  for (const auto& [code, keysym] : kTable) {
    if (code == key) return keysym;
  }
  return std::nullopt;
}

std::optional<std::uint32_t> characterKeysym(char32_t c) {
  if ((c >= 0x20 && c < 0x7F) || (c >= 0xA0 && c <= 0xFF)) return static_cast<std::uint32_t>(c);
  if (c == U'\u20AC') return keysym::kEuroSign;
  return std::nullopt;
}

bool KeyTranslator::holds(std::uint32_t keysym) const {
  for (const auto& [scancode, h] : held_) {
    if (h.keysym == keysym) return true;
  }
  return false;
}

void KeyTranslator::sendThirdLevel(std::vector<KeyEvent>& out, std::uint32_t keysym, bool down) const {
  const bool controlL = holds(keysym::kControlL), altL = holds(keysym::kAltL);
  if (controlL) out.push_back({keysym::kControlL, false});
  if (altL) out.push_back({keysym::kAltL, false});
  out.push_back({keysym::kAltR, false});
  out.push_back({keysym, down});
  out.push_back({keysym::kAltR, true});
  if (altL) out.push_back({keysym::kAltL, false});
  if (controlL) out.push_back({keysym::kControlL, false});
}

std::vector<KeyEvent> KeyTranslator::keyDown(SDL_Scancode scancode, SDL_Keycode key, std::uint16_t modifiers) {
  std::vector<KeyEvent> out;
  textFor_.reset();
  swallowText_ = false;
  if (const auto keysym = tableKeysym(key, modifiers)) {
    swallowText_ = true;  // the keypad's digits type text too
    if (*keysym == 0) return out;
    held_[scancode] = {*keysym, false};
    out.push_back({*keysym, true});
    return out;
  }
  const bool control = holds(keysym::kControlL) || holds(keysym::kControlR);
  const bool thirdLevel = holds(keysym::kAltR);
  if ((control || holds(keysym::kAltL)) && !thirdLevel) {
    swallowText_ = true;
    if (const auto keysym = shortcutKeysym(key, modifiers)) {
      held_[scancode] = {*keysym, false};
      out.push_back({*keysym, true});
    }
    return out;
  }
  // A character key: what it types comes as text right after this (nothing for a dead key).
  textFor_ = scancode;
  return out;
}

std::vector<KeyEvent> KeyTranslator::keyUp(SDL_Scancode scancode) {
  std::vector<KeyEvent> out;
  textFor_.reset();
  swallowText_ = false;
  const auto it = held_.find(scancode);
  if (it == held_.end()) return out;
  const Held h = it->second;
  held_.erase(it);
  if (h.thirdLevel && holds(keysym::kAltR)) {
    sendThirdLevel(out, h.keysym, false);
  } else {
    out.push_back({h.keysym, false});
  }
  return out;
}

std::vector<KeyEvent> KeyTranslator::text(std::string_view utf8) {
  std::vector<KeyEvent> out;
  if (swallowText_) {
    swallowText_ = false;
    return out;
  }
  const bool thirdLevel = holds(keysym::kAltR);
  for (const char32_t c : utf8Characters(utf8)) {
    const auto keysym = characterKeysym(c);
    if (!keysym) {
      unsentText_ = unsentText_ || c >= 0x20;
      continue;
    }
    if (textFor_) {
      // The key's own character: held until the key goes up. A repeat types it again.
      held_[*textFor_] = {*keysym, thirdLevel};
      textFor_.reset();
      if (thirdLevel) {
        sendThirdLevel(out, *keysym, true);
      } else {
        out.push_back({*keysym, true});
      }
      continue;
    }
    // Text committed by an input method without a key of its own.
    out.push_back({*keysym, true});
    out.push_back({*keysym, false});
  }
  textFor_.reset();
  return out;
}

std::vector<KeyEvent> KeyTranslator::releaseAll() {
  std::vector<KeyEvent> out;
  for (const auto& [scancode, h] : held_) {
    if (!isModifier(h.keysym)) out.push_back({h.keysym, false});
  }
  held_.clear();
  textFor_.reset();
  swallowText_ = false;
  for (const std::uint32_t keysym :
       {keysym::kAltL, keysym::kControlL, kShiftL, keysym::kAltR, keysym::kControlR, kShiftR}) {
    out.push_back({keysym, false});
  }
  return out;
}

}  // namespace vantrel::cli
