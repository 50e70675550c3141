#pragma once
// A reader of Windows INI files that gives the answers GetPrivateProfileStringA gives:
// section and key names match without regard to case, blanks around names and values are
// dropped, a value wrapped in matching quotes loses them, lines starting with ';' are
// comments, and a missing file, section or key gives the fallback. Values are cut to
// kMaxValueLength characters, the capacity of a 1024-byte result buffer.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

inline constexpr std::size_t kMaxValueLength = 1023;

// The value, or nothing when the section or key is absent; `iniText` is the whole file.
std::optional<std::string> findIniValue(std::string_view iniText, std::string_view section,
                                        std::string_view key);

// Reads the file at `path` (backslashes count as separators) and looks the value up.
std::string readIniFileValue(const std::string& path, std::string_view section,
                             std::string_view key, std::string_view fallback);

}  // namespace vantrel
