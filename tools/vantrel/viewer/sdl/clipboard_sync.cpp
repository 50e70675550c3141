#include "viewer/sdl/clipboard_sync.h"

#include "clipboard/clipboard_text.h"
#include "latin1_text.h"

namespace vantrel::cli {

std::optional<std::string> ClipboardSync::localText(std::string_view utf8, std::int32_t limit) {
  if (lastSeen_ == utf8) return std::nullopt;
  lastSeen_ = std::string(utf8);
  return clipboardTextToSend(utf8ToLatin1(utf8), limit);
}

std::string ClipboardSync::consoleText(std::span<const std::uint8_t> payload) {
  std::string local = latin1ToUtf8(receivedClipboardText(payload));
  lastSeen_ = local;
  return local;
}

}  // namespace vantrel::cli
