#include "latin1_text.h"

#include <algorithm>
#include <cstdint>

namespace vantrel::cli {

std::string latin1ToUtf8(std::string_view latin1) {
  std::string out;
  out.reserve(latin1.size());
  for (const char ch : latin1) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += ch;
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

namespace {

struct Decoded {
  char32_t character;  // U+FFFD when the bytes are not a whole, shortest sequence
  std::size_t taken;
  bool whole;
};

// The character whose UTF-8 sequence starts at `i`.
Decoded decodeAt(std::string_view utf8, std::size_t i) {
  const auto byteAt = [&](std::size_t at) { return static_cast<unsigned char>(utf8[at]); };
  const unsigned char lead = byteAt(i);
  if (lead < 0x80) return {static_cast<char32_t>(lead), 1, true};
  // Length and smallest code point of the sequence; anything else is not UTF-8.
  std::size_t length = 0;
  std::uint32_t code = 0, least = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1Fu, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0Fu, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07u, least = 0x10000;
  }
  std::size_t taken = 1;
  while (length != 0 && taken < length && i + taken < utf8.size() && (byteAt(i + taken) & 0xC0) == 0x80) {
    code = (code << 6) | (byteAt(i + taken) & 0x3Fu);
    ++taken;
  }
  const bool whole = length != 0 && taken == length && code >= least && code <= 0x10FFFF &&
                     !(code >= 0xD800 && code <= 0xDFFF);
  return {whole ? static_cast<char32_t>(code) : U'\uFFFD', taken, whole};
}

}  // namespace

std::u32string utf8Characters(std::string_view utf8) {
  std::u32string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const Decoded d = decodeAt(utf8, i);
    out += d.character;
    i += d.taken;
  }
  return out;
}

bool isUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const Decoded d = decodeAt(text, i);
    if (!d.whole) return false;
    i += d.taken;
  }
  return true;
}

std::string utf8ToLatin1(std::string_view utf8) {
  const std::u32string characters = utf8Characters(utf8);
  std::string out;
  out.reserve(characters.size());
  for (std::size_t i = 0; i < characters.size(); ++i) {
    const char32_t c = characters[i];
    if (c == U'\r' && i + 1 < characters.size() && characters[i + 1] == U'\n') continue;
    out += c <= 0xFF ? static_cast<char>(c) : '?';
  }
  return out;
}

bool fitsLatin1(std::string_view utf8) {
  const std::u32string characters = utf8Characters(utf8);
  return std::all_of(characters.begin(), characters.end(), [](char32_t c) { return c <= 0xFF; });
}

}  // namespace vantrel::cli
