#include "viewer/headless_session.h"

#include "clipboard/clipboard_text.h"
#include "viewer/client_connection.h"

namespace vantrel {

bool HeadlessWindow::createViewerWindow(ClientConnection& connection) {
  depthSent = connection.announceSurface(true);
  return true;
}

void MemoryClipboard::setLocalClipboard(std::span<const std::uint8_t> text) {
  const std::lock_guard lock(mutex_);
  text_ = receivedClipboardText(text);
  ++writes_;
}

std::string MemoryClipboard::text() const {
  const std::lock_guard lock(mutex_);
  return text_;
}

std::uint32_t MemoryClipboard::writes() const {
  const std::lock_guard lock(mutex_);
  return writes_;
}

}  // namespace vantrel
