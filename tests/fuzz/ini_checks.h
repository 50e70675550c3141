#pragma once
// Any text as an INI file: looked up by the catalogue's section and keys, and by a section and
// key taken from the text itself. A value is at most kMaxValueLength characters and never
// reaches past its line. Shared by the fuzz target and the test that replays its seeds.

#include <algorithm>
#include <cstdint>
#include <span>
#include <string_view>

#include "catalog/ini_file.h"

namespace vantrel::ini_checks {

inline bool valueIsSound(std::string_view text, std::string_view section, std::string_view key) {
  const auto value = findIniValue(text, section, key);
  return !value || (value->size() <= kMaxValueLength && value->find('\n') == std::string_view::npos);
}

inline bool lookupsHold(std::span<const std::uint8_t> data) {
  const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
  // The first line names a section and a key, as "section=key".
  const std::string_view first = text.substr(0, text.find('\n'));
  const auto equals = first.find('=');
  const std::string_view section = first.substr(0, std::min(equals, first.size()));
  const std::string_view key = equals == std::string_view::npos ? std::string_view{} : first.substr(equals + 1);
  return valueIsSound(text, "MESSAGEBOX", "LoginFailed_en") && valueIsSound(text, " messagebox ", "ServerCutConnect_jp") &&
         valueIsSound(text, section, key);
}

}  // namespace vantrel::ini_checks
