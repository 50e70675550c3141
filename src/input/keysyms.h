#pragma once
// The X keysyms that the keyboard code names itself; the rest come from the virtual-key table
// or are Latin-1 characters, which are their own keysyms.

#include <cstdint>

namespace vantrel::keysym {

inline constexpr std::uint32_t kSpace = 0x0020;
inline constexpr std::uint32_t kF4 = 0xFFC1;
inline constexpr std::uint32_t kControlL = 0xFFE3;
inline constexpr std::uint32_t kControlR = 0xFFE4;
inline constexpr std::uint32_t kAltL = 0xFFE9;
inline constexpr std::uint32_t kAltR = 0xFFEA;

inline constexpr std::uint32_t kDeadGrave = 0xFE50;
inline constexpr std::uint32_t kDeadAcute = 0xFE51;
inline constexpr std::uint32_t kDeadCircumflex = 0xFE52;
inline constexpr std::uint32_t kDeadTilde = 0xFE53;

inline constexpr std::uint32_t kEuroSign = 0x20AC;

}  // namespace vantrel::keysym
