#include "json_text.h"

#include <cstdio>

namespace vantrel::cli {

std::string jsonString(std::string_view latin1) {
  std::string out = "\"";
  for (const char ch : latin1) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20 || c >= 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += ch;
    }
  }
  out += '"';
  return out;
}

}  // namespace vantrel::cli
