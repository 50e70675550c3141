#pragma once
// What the key translation asks of the system's keyboard. The Win32 shell answers with
// GetKeyboardState, ToAscii and GetKeyState; tests answer with fake layouts.

#include <array>
#include <cstdint>

namespace vantrel {

// One byte per virtual key, as GetKeyboardState fills it.
using KeyboardState = std::array<std::uint8_t, 256>;
// ToAscii writes at most two characters, one byte each, in the ANSI code page.
using CharacterBuffer = std::array<std::uint8_t, 2>;

inline constexpr std::uint8_t kKeyDown = 0x80;     // a key's byte in the state array
inline constexpr std::uint8_t kKeyToggled = 0x01;  // the locks, in the array and in GetKeyState

inline constexpr std::uint32_t kVkShift = 0x10;
inline constexpr std::uint32_t kVkControl = 0x11;
inline constexpr std::uint32_t kVkMenu = 0x12;
inline constexpr std::uint32_t kVkCapital = 0x14;
inline constexpr std::uint32_t kVkLShift = 0xA0;
inline constexpr std::uint32_t kVkRShift = 0xA1;
inline constexpr std::uint32_t kVkLControl = 0xA2;
inline constexpr std::uint32_t kVkRControl = 0xA3;
inline constexpr std::uint32_t kVkLMenu = 0xA4;
inline constexpr std::uint32_t kVkRMenu = 0xA5;

class KeyboardPort {
 public:
  virtual ~KeyboardPort() = default;

  // The state of every key for the calling thread; all keys up when it cannot be read.
  virtual void readState(KeyboardState& state) = 0;
  // ToAscii with scan code 0 and flags 0: the number of characters written, negative for a
  // dead key (whose character is then in the buffer), 0 for none.
  virtual int toAscii(std::uint32_t virtualKey, const KeyboardState& state, CharacterBuffer& chars) = 0;
  // GetKeyState: the sign bit when the key is down, bit 0 when it is toggled on.
  virtual std::int16_t keyState(std::uint32_t virtualKey) = 0;
};

// The system's keyboard; the Win32 shell provides it.
KeyboardPort& systemKeyboard();

}  // namespace vantrel
