#pragma once
// The desktop's clipboard (UTF-8, lines ending in LF) kept in step with the console's (Latin-1
// on the wire) under the viewer's rules: a local text goes out up to its first NUL, without
// CRs and only within the limit; the console's text is put on the desktop; and a text the
// console sent is not sent back to it when the desktop reports it as a change.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vantrel::cli {

class ClipboardSync {
 public:
  // The desktop's text, seen now: what to send to the console, or nothing when it is the text
  // last seen (our own from the console included) or too long (then it is not tried again).
  std::optional<std::string> localText(std::string_view utf8, std::int32_t limit);
  // The console's text: what to put on the desktop.
  std::string consoleText(std::span<const std::uint8_t> payload);

 private:
  std::optional<std::string> lastSeen_;
};

}  // namespace vantrel::cli
