#include "printable_text.h"

namespace vantrel::cli {

std::string printableText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const bool c1 = c == 0xC2 && i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80;
    if (c < 0x20 || c == 0x7F) {
      out += '?';
    } else if (c1) {
      out += '?';
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace vantrel::cli
