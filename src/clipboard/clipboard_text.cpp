#include "clipboard/clipboard_text.h"

#include <algorithm>
#include <iterator>
#include <limits>

namespace vantrel {

std::optional<std::string> clipboardTextToSend(std::string_view local, std::int32_t limit) {
  local = local.substr(0, local.find('\0'));
  // Counted before anything is copied: a huge clipboard costs a scan, not a copy.
  const auto crs = static_cast<std::size_t>(std::count(local.begin(), local.end(), '\r'));
  const std::uint64_t length = local.size() - crs;
  const std::uint64_t most = limit > 0 ? static_cast<std::uint64_t>(limit) : std::numeric_limits<std::uint32_t>::max();
  if (length > most) return std::nullopt;
  std::string text;
  text.reserve(local.size() - crs);
  std::copy_if(local.begin(), local.end(), std::back_inserter(text), [](char c) { return c != '\r'; });
  return text;
}

std::string_view receivedClipboardText(std::span<const std::uint8_t> payload) {
  const std::string_view all(reinterpret_cast<const char*>(payload.data()), payload.size());
  return all.substr(0, all.find('\0'));
}

std::string withCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')));
  for (const char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace vantrel
