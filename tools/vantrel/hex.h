#pragma once
// Hex text to bytes and back, for the tool's command lines.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::cli {

// Accepts upper- and lower-case digits; nothing for an odd count or any other character.
std::optional<std::vector<std::uint8_t>> parseHex(std::string_view text);
std::string toHex(const std::vector<std::uint8_t>& bytes);

}  // namespace vantrel::cli
