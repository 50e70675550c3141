#pragma once
// Typing a keysym on an X keyboard: which key to press, and which modifiers to press or release
// around it so that the key gives that keysym at the modifiers it finds. Pure: the layout and
// the state come from the server, the plan goes back to it as fake key events.

#include <array>
#include <bitset>
#include <cstdint>
#include <optional>
#include <vector>

namespace vantrel::cli {

// One key of the layout in the keyboard's current group.
struct LayoutKey {
  std::uint8_t keycode = 0;
  // The modifiers that choose the level; a combination of them not listed gives level 0.
  std::uint8_t levelModifiers = 0;
  struct Level {
    std::uint8_t modifiers;
    std::uint8_t level;
  };
  std::vector<Level> levels;
  std::vector<std::uint32_t> keysyms;  // by level; 0 for none
};

struct KeyboardLayout {
  std::vector<LayoutKey> keys;
  // For each of the eight real modifiers, the keys that set it while held (lock keys excluded).
  std::array<std::vector<std::uint8_t>, 8> modifierKeys;
};

struct KeyboardState {
  std::uint8_t modifiers = 0;        // in force now
  std::uint8_t lockedModifiers = 0;  // held by a lock, not by a key
  std::bitset<256> down;             // keys held now
};

struct KeyStroke {
  std::uint8_t keycode;
  bool down;
  bool operator==(const KeyStroke&) const = default;
};

struct KeyPlan {
  std::uint8_t keycode = 0;
  std::vector<KeyStroke> before;  // modifier changes before pressing the key
  std::vector<KeyStroke> after;   // their undoing, right after the press
};

// Modifier keysyms (Shift, Control, Alt, level shifts, locks) are pressed as they are.
bool isModifierKeysym(std::uint32_t keysym);

// The cheapest way to press `keysym`: fewest modifier changes, then the lowest level. Nothing
// when no key gives it at a reachable state (a locked modifier cannot be lifted, and a modifier
// no key sets cannot be added).
std::optional<KeyPlan> planKeyPress(const KeyboardLayout& layout, std::uint32_t keysym, const KeyboardState& state);

}  // namespace vantrel::cli
