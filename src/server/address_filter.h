#pragma once
// The responder's allow list: entries ending in ';' (line breaks count as ';'), each a single
// dotted address, a range "a-b" with its bounds in either order, or a pattern in which '*'
// stands for any octet. Text after the last ';' is not an entry.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// A dotted IPv4 text as a number; ">" as an octet stands for 255. 0 means invalid, so the
// address 0.0.0.0 comes back as 1.
std::uint32_t parseAddress(std::string_view text);

// Whether `address` matches an entry of `filterText` (an IPv6 address never does). Line breaks
// in the list are turned into ';' in place, as the stored list keeps them.
bool isAddressAllowed(std::string& filterText, std::string_view address);

// An entry of an allow list and the line it is on, counting from 1.
struct AllowListEntry {
  std::size_t line;
  std::string text;
};

// The entries that the responder does not read as they are written: not a dotted address, a
// range a-b or a pattern with '*' for whole octets (127.0.0.0/8, a name, an octet over 255), or
// cut by the responder's length limits. Most of them can never match; the rest match other
// addresses than meant. Only text that ends in ';' or a line break holds entries.
std::vector<AllowListEntry> misreadAllowEntries(std::string_view filterText);

}  // namespace vantrel
