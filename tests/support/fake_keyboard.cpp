#include "support/fake_keyboard.h"

#include "catalog/exception.h"

namespace vantrel::test {
namespace {

constexpr std::uint32_t kVkOem3 = 0xC0, kVkOem5 = 0xDC, kVkOem6 = 0xDD, kVkOem7 = 0xDE;

bool isLetterKey(std::uint32_t virtualKey) { return virtualKey >= 'A' && virtualKey <= 'Z'; }

std::uint32_t genericKey(std::uint32_t virtualKey) {
  switch (virtualKey) {
    case kVkLShift: case kVkRShift: return kVkShift;
    case kVkLControl: case kVkRControl: return kVkControl;
    case kVkLMenu: case kVkRMenu: return kVkMenu;
    default: return virtualKey;
  }
}

constexpr std::uint32_t kExtended = 1u << 24, kPreviousDown = 1u << 30, kTransition = 1u << 31;

KeyMessage message(std::uint32_t virtualKey, std::uint32_t flags) {
  const bool extended = virtualKey == kVkRControl || virtualKey == kVkRMenu;
  return {genericKey(virtualKey), 1u | flags | (extended ? kExtended : 0u)};  // repeat count 1
}

}  // namespace

FakeLayout usLayout() { return {{kVkOem7, '\'', '"', 0}}; }

FakeLayout usInternationalLayout() {
  return {{kVkOem7, kDead | '\'', kDead | '"', 0}, {kVkOem3, kDead | '`', kDead | '~', 0},
          {'6', '6', kDead | '^', 0}};
}

FakeLayout germanLayout() {
  return {{'Q', 'q', 'Q', '@'}, {'E', 'e', 'E', 0x80}, {'M', 'm', 'M', 0xB5},
          {kVkOem5, kDead | '^', kDead | 0xA8, 0}, {kVkOem6, kDead | 0xB4, kDead | '`', 0}};
}

KeyMessage FakeKeyboard::press(std::uint32_t virtualKey) {
  const bool repeat = (keys_.at(virtualKey) & kKeyDown) != 0;
  if (virtualKey == kVkCapital) keys_[virtualKey] ^= kKeyToggled;
  keys_[virtualKey] |= kKeyDown;
  keys_[genericKey(virtualKey)] |= kKeyDown;
  return message(virtualKey, repeat ? kPreviousDown : 0);
}

KeyMessage FakeKeyboard::release(std::uint32_t virtualKey) {
  keys_.at(virtualKey) &= static_cast<std::uint8_t>(~kKeyDown);
  keys_[genericKey(virtualKey)] &= static_cast<std::uint8_t>(~kKeyDown);
  return message(virtualKey, kPreviousDown | kTransition);
}

void FakeKeyboard::readState(KeyboardState& state) {
  if (failure_) throw Exception(*failure_);
  state = keys_;
}

int FakeKeyboard::toAscii(std::uint32_t virtualKey, const KeyboardState& state, CharacterBuffer& chars) {
  const std::optional<FakeKey> key = find(virtualKey);
  if (!key) return 0;
  const auto down = [&](std::uint32_t vk) { return (state[vk] & kKeyDown) != 0; };
  int c = 0;
  if (down(kVkControl) && down(kVkMenu)) {
    c = key->altGr;
  } else if (down(kVkControl)) {
    c = isLetterKey(virtualKey) ? static_cast<int>(virtualKey) & 0x1F : 0;
  } else {  // Alt alone types the plain character, as it does for WM_SYSCHAR
    const bool caps = isLetterKey(virtualKey) && (state[kVkCapital] & kKeyToggled) != 0;
    c = down(kVkShift) != caps ? key->shifted : key->plain;
  }
  if (c == 0) return 0;
  chars[0] = static_cast<std::uint8_t>(c);
  return (c & kDead) != 0 ? -1 : 1;
}

std::int16_t FakeKeyboard::keyState(std::uint32_t virtualKey) {
  const std::uint8_t key = keys_.at(virtualKey);
  return static_cast<std::int16_t>(((key & kKeyDown) != 0 ? 0x8000 : 0) | (key & kKeyToggled));
}

std::optional<FakeKey> FakeKeyboard::find(std::uint32_t virtualKey) const {
  for (const FakeKey& key : layout_) {
    if (key.virtualKey == virtualKey) return key;
  }
  if (!isLetterKey(virtualKey)) return std::nullopt;
  const int upper = static_cast<int>(virtualKey);
  return FakeKey{virtualKey, upper + 0x20, upper, 0};
}

}  // namespace vantrel::test
