#pragma once
// The responder's allow list: entries ending in ';' (line breaks count as ';'), each a single
// dotted address, a range "a-b" with its bounds in either order, or a pattern in which '*'
// stands for any octet. Text after the last ';' is not an entry.

#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel {

// A dotted IPv4 text as a number; ">" as an octet stands for 255. 0 means invalid, so the
// address 0.0.0.0 comes back as 1.
std::uint32_t parseAddress(std::string_view text);

// Whether `address` matches an entry of `filterText`. Line breaks in the list are turned into
// ';' in place, as the stored list keeps them.
bool isAddressAllowed(std::string& filterText, std::string_view address);

}  // namespace vantrel
