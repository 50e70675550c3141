#pragma once
// 8-bit text (Latin-1, as the console's clipboard and the catalogue's English are) as a JSON
// string, for the tool's JSON lines and documents.

#include <string>
#include <string_view>

namespace vantrel::cli {

// Quotes and escapes: '"' and '\' by a backslash, control characters and bytes from 0x7F by
// \u00XX, each byte read as the Latin-1 character of its value.
std::string jsonString(std::string_view latin1);

}  // namespace vantrel::cli
