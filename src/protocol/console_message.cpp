#include "protocol/console_message.h"

namespace vantrel {

std::optional<std::size_t> wireHeaderLength(std::uint8_t type) {
  switch (type) {
    case ConsoleMessage::kKeyEvent:
    case ConsoleMessage::kControl: return 8;
    case ConsoleMessage::kPointerEvent: return 6;
    case ConsoleMessage::kScreenUpdate:
    case ConsoleMessage::kOverlayUpdate: return 20;
    case ConsoleMessage::kScreenFormat: return 12;
    case ConsoleMessage::kServerNoResponse: return 1;
    default: return std::nullopt;
  }
}

std::uint32_t wirePayloadLength(const ConsoleMessage& message) {
  switch (message.type()) {
    case ConsoleMessage::kControl:
      return message.u16At(2) == ConsoleMessage::kClipboardText ? message.u32At(4) : 0;
    case ConsoleMessage::kScreenUpdate:
    case ConsoleMessage::kOverlayUpdate: return message.u32At(12);
    case ConsoleMessage::kScreenFormat: return message.u16At(6);
    default: return 0;
  }
}

}  // namespace vantrel
