#include "input/key_mapper.h"

#include <algorithm>
#include <optional>

#include "catalog/exception.h"
#include "diag/trace_sink.h"
#include "input/keysyms.h"
#include "input/virtual_key_table.h"

namespace vantrel {
namespace {

constexpr std::uint32_t kExtendedBit = 1u << 24;
constexpr std::uint32_t kTransitionBit = 1u << 31;  // set on key-up

struct Modifier {
  std::uint32_t bit;
  std::uint32_t keysym;
  bool rightHand;
};

// In the order they are lifted; they are restored in the reverse order.
constexpr std::array<Modifier, 4> kModifiers{{
    {KeyAction::kControlL, keysym::kControlL, false},
    {KeyAction::kAltL, keysym::kAltL, false},
    {KeyAction::kControlR, keysym::kControlR, true},
    {KeyAction::kAltR, keysym::kAltR, true},
}};

// Right Ctrl and right Alt arrive as CONTROL and MENU with the extended bit.
std::uint32_t sidedKey(std::uint32_t virtualKey, std::uint32_t keyData) {
  if ((keyData & kExtendedBit) == 0) return virtualKey;
  if (virtualKey == kVkControl) return kVkRControl;
  if (virtualKey == kVkMenu) return kVkRMenu;
  return virtualKey;
}

// Characters come in the ANSI code page. Its printable Latin-1 range is keysyms as it stands;
// 0x80 is where the Windows code pages of the AltGr layouts keep the euro sign.
bool isPrintable(std::uint8_t c) { return (c >= 0x20 && c <= 0x7E) || c == 0x80 || c >= 0xA0; }
std::uint32_t characterKeysym(std::uint8_t c) { return c == 0x80 ? keysym::kEuroSign : c; }

std::optional<std::uint32_t> deadKeysym(std::uint8_t c) {
  switch (c) {
    case 0x60: return keysym::kDeadGrave;
    case 0x27:  // US-International's acute
    case 0xB4:  // the acute accent of the European layouts
      return keysym::kDeadAcute;
    case 0x5E: return keysym::kDeadCircumflex;
    case 0x7E: return keysym::kDeadTilde;
    default: return std::nullopt;
  }
}

void putCharacters(KeyAction& action, const CharacterBuffer& chars, int count) {
  for (int i = 0; i < count; ++i) {
    const auto at = static_cast<std::size_t>(i);
    action.keysyms[at] = characterKeysym(chars[at]);
  }
}

}  // namespace

KeyMapper::KeyMapper(KeyboardPort& keyboard, KeyEventSink& sink, ViewerWindowPort& viewer,
                     KeyFailureReport failureReport)
    : keyboard_(keyboard), sink_(sink), viewer_(viewer), failureReport_(failureReport) {}

void KeyMapper::processKeyEvent(std::uint32_t virtualKey, std::uint32_t keyData) {
  try {
    // Auto-repeat arrives as further key-downs and goes out as further presses.
    const bool down = (keyData & kTransitionBit) == 0;
    const KeyAction action = translateKey(virtualKey, keyData);
    liftModifiers(action.releaseModifiers);
    for (const std::uint32_t keysym : action.keysyms) {
      if (keysym == KeyAction::kTerminator) break;
      send(letterCase(keysym, down), down);
    }
    restoreModifiers(action.releaseModifiers);
  } catch (const Exception& failure) {
    const KeyFailureReport& r = failureReport_;
    failure.report(r.boxes, r.msgBoxShowing, r.catalog, r.language, r.owner);
    viewer_.requestClose();
  }
}

KeyAction KeyMapper::translateKey(std::uint32_t virtualKey, std::uint32_t keyData) {
  KeyAction action;
  const std::uint32_t key = sidedKey(virtualKey, keyData);
  if (const auto fixed = lookupVirtualKey(key)) {
    action.keysyms[0] = *fixed;
    return action;
  }

  keyboard_.readState(state_);
  const int n = translateCharacters(key);
  // Windows reports AltGr as Control plus Alt. The server gets the character alone, without
  // the modifiers it was typed with.
  if (stateDown(kVkMenu) && stateDown(kVkControl) && n >= 1 && isPrintable(chars_[0])) {
    action.releaseModifiers = liveAltGrModifiers();
    putCharacters(action, chars_, n);
    return action;
  }

  // Control goes to the server as a key of its own: Ctrl+A is Control_L and a, not 0x01.
  for (const std::uint32_t control : {kVkControl, kVkLControl, kVkRControl}) state_[control] = 0;
  const int m = translateCharacters(key);
  if (m < 0) {
    if (const auto dead = deadKeysym(chars_[0])) action.keysyms[0] = *dead;
  } else {
    putCharacters(action, chars_, m);
  }
  return action;
}

int KeyMapper::translateCharacters(std::uint32_t virtualKey) {
  chars_.fill(0);
  const int count = keyboard_.toAscii(virtualKey, state_, chars_);
  return std::min(count, static_cast<int>(chars_.size()));
}

bool KeyMapper::stateDown(std::uint32_t virtualKey) const { return (state_[virtualKey] & kKeyDown) != 0; }

bool KeyMapper::liveDown(std::uint32_t virtualKey) { return keyboard_.keyState(virtualKey) < 0; }

std::uint32_t KeyMapper::liveAltGrModifiers() {
  std::uint32_t modifiers = 0;
  if (liveDown(kVkLControl)) modifiers |= KeyAction::kControlL;
  if (liveDown(kVkLMenu)) modifiers |= KeyAction::kAltL;
  if (liveDown(kVkRMenu)) modifiers |= KeyAction::kAltR;
  // Without left/right detail (injected input), lift everything AltGr may be made of.
  return modifiers != 0 ? modifiers : KeyAction::kControlL | KeyAction::kAltL | KeyAction::kAltR;
}

std::uint32_t KeyMapper::letterCase(std::uint32_t keysym, bool down) {
  const bool upper = keysym >= 0x41 && keysym <= 0x5A;
  const bool lower = keysym >= 0x61 && keysym <= 0x7A;
  if (!upper && !lower) return keysym;
  if (lower) {
    traceSink(traceHandle, "\r\nKRV Sent SHIFT STATE %08x kas.keycodes[i] = %d m_nLastKeyDown = %d\r\n",
              keyboard_.keyState(kVkLShift), keysym, lastKeyDown_);
  }
  const std::uint32_t otherCase = keysym ^ 0x20;
  if (!down) {
    // A release goes out in the case of its press, even when Shift was let go in between.
    const std::uint32_t pressed = lastKeyDown_ == otherCase ? otherCase : keysym;
    lastKeyDown_ = 0;
    return pressed;
  }
  // Ctrl+letter is the lower-case letter whether Caps Lock is on or not.
  if (upper && liveDown(kVkControl) && (keyboard_.keyState(kVkCapital) & kKeyToggled) != 0) {
    keysym = otherCase;
  }
  lastKeyDown_ = keysym;
  return keysym;
}

void KeyMapper::liftModifiers(std::uint32_t modifiers) {
  for (const Modifier& modifier : kModifiers) {
    if ((modifiers & modifier.bit) == 0) continue;
    send(modifier.keysym, false);
    if (modifier.bit == KeyAction::kAltL) traceSink(traceHandle, "fake L ALT raised\r\n");
  }
}

// Only the right-hand modifiers go down again. AltGr is a fake left Control plus right Alt,
// and the server must not be left holding the fake Control; left Ctrl+Alt standing in for
// AltGr is treated the same way.
void KeyMapper::restoreModifiers(std::uint32_t modifiers) {
  for (auto modifier = kModifiers.rbegin(); modifier != kModifiers.rend(); ++modifier) {
    if ((modifiers & modifier->bit) == 0) continue;
    send(modifier->keysym, modifier->rightHand);
    if (modifier->bit == KeyAction::kAltR) traceSink(traceHandle, "fake L Ctrl pressed\n");
  }
}

// A failed send is not looked at here: the receive side notices the dead link.
void KeyMapper::send(std::uint32_t keysym, bool down) {
  sink_.sendKeyEvent(keysym, down);
  traceSink(traceHandle, "KRV Sent keysym %d (%s)\r\n", keysym, down ? "press" : "release");
}

}  // namespace vantrel
