#include "catalog/ini_file.h"

#include <algorithm>
#include <sstream>

#include "catalog/whole_file.h"

namespace vantrel {
namespace {

std::string_view trimBlanks(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

std::string_view unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace

std::optional<std::string> findIniValue(std::string_view iniText, std::string_view section,
                                        std::string_view key) {
  section = trimBlanks(section);
  key = trimBlanks(key);
  bool inSection = false;
  while (!iniText.empty()) {
    const auto end = iniText.find('\n');
    std::string_view line = trimBlanks(iniText.substr(0, end));
    iniText = end == std::string_view::npos ? std::string_view{} : iniText.substr(end + 1);

    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const auto close = line.find(']');
      const auto name = close == std::string_view::npos ? line.substr(1) : line.substr(1, close - 1);
      inSection = equalsIgnoringCase(trimBlanks(name), section);
      continue;
    }
    if (!inSection) continue;
    const auto equals = line.find('=');
    if (equals == std::string_view::npos || !equalsIgnoringCase(trimBlanks(line.substr(0, equals)), key)) {
      continue;
    }
    const auto value = unquote(trimBlanks(line.substr(equals + 1)));
    return std::string(value.substr(0, kMaxValueLength));
  }
  return std::nullopt;
}

std::string readIniFileValue(const std::string& path, std::string_view section, std::string_view key,
                             std::string_view fallback) {
  std::string localPath = path;
  std::replace(localPath.begin(), localPath.end(), '\\', '/');
  const auto text = readWholeFile(localPath);
  if (!text) return std::string(fallback.substr(0, kMaxValueLength));
  return findIniValue(*text, section, key).value_or(std::string(fallback.substr(0, kMaxValueLength)));
}

}  // namespace vantrel
