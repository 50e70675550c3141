#pragma once
// Clipboard text between a desktop (UTF-8) and the viewer's wire (8-bit Latin-1, lines ending
// in LF alone).

#include <string>
#include <string_view>

namespace vantrel::cli {

std::string latin1ToUtf8(std::string_view latin1);
// The characters of a UTF-8 text; a byte that does not start a whole, shortest sequence of a
// character becomes U+FFFD.
std::u32string utf8Characters(std::string_view utf8);
// Whether every byte belongs to a whole, shortest sequence of a character.
bool isUtf8(std::string_view text);
// Characters Latin-1 lacks, and bytes that are not UTF-8, become '?'; a CR before an LF is
// dropped (the viewer turns every LF into CR LF).
std::string utf8ToLatin1(std::string_view utf8);
// Whether utf8ToLatin1 keeps every character.
bool fitsLatin1(std::string_view utf8);

}  // namespace vantrel::cli
