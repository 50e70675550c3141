#include "viewer/message_dispatch.h"

namespace vantrel {

Dispatched dispatchMessage(const ConsoleMessage& message, std::span<const std::uint8_t> payload, DisplayState& display,
                           ClipboardPort& clipboard) {
  UpdateResult result = UpdateResult::Drawn;
  switch (message.type()) {
    case ConsoleMessage::kControl:
      if (message.u16At(2) == ConsoleMessage::kClipboardText) clipboard.setLocalClipboard(payload);
      if (message.u16At(2) == kServerCutSubtype) return Dispatched::ServerEnded;
      break;
    case ConsoleMessage::kScreenUpdate: result = display.handleScreenUpdate(message, payload); break;
    case ConsoleMessage::kOverlayUpdate: result = display.handleOverlayUpdate(message, payload); break;
    case ConsoleMessage::kScreenFormat: display.handleScreenFormat(message, payload); break;
    default: break;
  }
  return endsSession(result) ? Dispatched::Untrusted : Dispatched::Acknowledge;
}

}  // namespace vantrel
