#include "console/allow_list.h"

namespace vantrel::cli {
namespace {

std::string_view trimmed(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\r";
  const auto first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

}  // namespace

std::string plainAllowList(std::string_view text) {
  std::string plain;
  plain.reserve(text.size());
  for (std::size_t at = 0; at <= text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    std::string_view line = text.substr(at, end - at);
    line = line.substr(0, line.find('#'));
    for (std::size_t piece = 0; piece <= line.size();) {
      const std::size_t semicolon = std::min(line.find(';', piece), line.size());
      plain += trimmed(line.substr(piece, semicolon - piece));
      if (semicolon < line.size()) plain += ';';
      piece = semicolon + 1;
    }
    if (end < text.size()) plain += '\n';
    at = end + 1;
  }
  return plain;
}

}  // namespace vantrel::cli
