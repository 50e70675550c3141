#include "console/x11/keyboard_plan.h"

#include <gtest/gtest.h>

namespace vantrel::cli {
namespace {

constexpr std::uint8_t kShift = 1, kLock = 2, kMod2 = 0x10, kMod5 = 0x80;
constexpr std::uint8_t kShiftL = 50, kShiftR = 62, kLevel3 = 92, kA = 38, kTwo = 11, kQ = 24, kKeypad0 = 90;

// A US keyboard with a German Q key and a level-three shift.
KeyboardLayout layout() {
  KeyboardLayout l;
  l.keys = {
      {kShiftL, 0, {}, {0xFFE1}},
      {kShiftR, 0, {}, {0xFFE2}},
      {kLevel3, 0, {}, {0xFE03}},
      {kA, kShift | kLock, {{kShift, 1}, {kLock, 1}}, {'a', 'A'}},
      {kTwo, kShift, {{kShift, 1}}, {'2', '@'}},
      {kQ, kShift | kLock | kMod5, {{kShift, 1}, {kLock, 1}, {kMod5, 2}, {kShift | kMod5, 3}}, {'q', 'Q', '@', 0x7D9}},
      {kKeypad0, kMod2, {{kMod2, 1}}, {0xFF9E, 0xFFB0}},
  };
  l.modifierKeys[0] = {kShiftL, kShiftR};
  l.modifierKeys[7] = {kLevel3};
  return l;
}

KeyboardState state(std::uint8_t modifiers, std::uint8_t locked, std::vector<std::uint8_t> down = {}) {
  KeyboardState s{modifiers, locked, {}};
  for (const auto k : down) s.down.set(k);
  return s;
}

TEST(KeyboardPlan, PressesTheKeyWithTheFewestModifierChanges) {
  struct Case {
    const char* name;
    std::uint32_t keysym;
    KeyboardState state;
    std::uint8_t keycode;
    std::vector<KeyStroke> before, after;
  };
  const KeyStroke shiftDown{kShiftL, true}, shiftUp{kShiftL, false};
  for (const Case& c : std::vector<Case>{
           {"plain letter", 'a', state(0, 0), kA, {}, {}},
           {"capital: shift around it", 'A', state(0, 0), kA, {shiftDown}, {shiftUp}},
           {"capital with shift held", 'A', state(kShift, 0, {kShiftL}), kA, {}, {}},
           {"small letter with both shifts held: both lifted, then pressed again", 'a',
            state(kShift, 0, {kShiftL, kShiftR}), kA, {{kShiftL, false}, {kShiftR, false}},
            {{kShiftR, true}, {kShiftL, true}}},
           {"capital under caps lock", 'A', state(kLock, kLock), kA, {}, {}},
           {"small letter under caps lock: shift cancels the lock", 'a', state(kLock, kLock), kA, {shiftDown},
            {shiftUp}},
           {"level three", 0x7D9, state(0, 0), kQ, {shiftDown, {kLevel3, true}}, {{kLevel3, false}, shiftUp}},
           {"the lower level wins a tie", '@', state(0, 0), kTwo, {shiftDown}, {shiftUp}},
           {"fewer changes win over the lower level", '@', state(kMod5, 0, {kLevel3}), kQ, {}, {}},
           {"keypad digit under num lock", 0xFFB0, state(kMod2, kMod2), kKeypad0, {}, {}},
           {"a modifier key goes as it is", 0xFFE1, state(kShift | kLock, kLock, {kShiftR}), kShiftL, {}, {}},
       }) {
    const auto plan = planKeyPress(layout(), c.keysym, c.state);
    ASSERT_TRUE(plan) << c.name;
    EXPECT_EQ(plan->keycode, c.keycode) << c.name;
    EXPECT_EQ(plan->before, c.before) << c.name;
    EXPECT_EQ(plan->after, c.after) << c.name;
  }
}

TEST(KeyboardPlan, NothingWhenNoKeyReachesTheKeysym) {
  struct Case {
    const char* name;
    std::uint32_t keysym;
    KeyboardState state;
  };
  for (const Case& c : std::vector<Case>{
           {"not on the layout", 0xE9, state(0, 0)},
           {"needs num lock, which no key sets while held", 0xFFB0, state(0, 0)},
           {"a locked shift cannot be lifted", 'a', state(kShift, kShift)},
           {"no keysym at all", 0, state(0, 0)},
       }) {
    EXPECT_FALSE(planKeyPress(layout(), c.keysym, c.state)) << c.name;
  }
}

}  // namespace
}  // namespace vantrel::cli
