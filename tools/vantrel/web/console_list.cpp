#include "web/console_list.h"

#include <algorithm>
#include <cctype>

namespace vantrel::cli {

std::optional<ConsoleList> parseConsoleList(const std::vector<std::string>& entries, std::string& error) {
  ConsoleList consoles;
  for (const std::string& entry : entries) {
    const auto equals = entry.find('=');
    const std::string name = entry.substr(0, equals);
    const bool plainName = !name.empty() && name.size() <= 64 && std::all_of(name.begin(), name.end(), [](char c) {
      return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '_' || c == '-';
    });
    if (equals == std::string::npos || !plainName) {
      error = "'" + entry + "' is not NAME=HOST[:PORT] with a name of letters, digits, '.', '_' or '-'";
      return std::nullopt;
    }
    const auto target = viewerTarget(entry.substr(equals + 1), std::nullopt, error);
    if (!target) return std::nullopt;
    if (!consoles.emplace(name, *target).second) {
      error = "the console name '" + name + "' is given twice";
      return std::nullopt;
    }
  }
  return consoles;
}

}  // namespace vantrel::cli
