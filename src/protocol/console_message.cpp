#include "protocol/console_message.h"

namespace vantrel {

ConsoleMessage keyEventMessage(std::uint32_t keysym, bool down) {
  ConsoleMessage m;
  m.setType(ConsoleMessage::kKeyEvent);
  m.setFlag(down ? 1 : 0);
  m.setU32At(4, keysym);
  return m;
}

ConsoleMessage pointerEventMessage(std::uint16_t x, std::uint16_t y, std::uint8_t buttons) {
  ConsoleMessage m;
  m.setType(ConsoleMessage::kPointerEvent);
  m.setFlag(buttons);
  m.setU16At(2, x);
  m.setU16At(4, y);
  return m;
}

ConsoleMessage controlMessage(std::uint16_t subtype, std::uint32_t value) {
  ConsoleMessage m;
  m.setType(ConsoleMessage::kControl);
  m.setU16At(2, subtype);
  m.setU32At(4, value);
  return m;
}

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

bool normaliseForWire(ConsoleMessage& message) {
  const std::uint8_t type = message.type();
  if (type < ConsoleMessage::kKeyEvent || type > ConsoleMessage::kScreenFormat) return false;
  if (type == ConsoleMessage::kKeyEvent) message.setU16At(2, 0);
  if (type == ConsoleMessage::kControl) {
    const std::uint16_t subtype = message.u16At(2);
    if (subtype != ConsoleMessage::kClipboardText && subtype != ConsoleMessage::kDisplayDepth) message.setU32At(4, 0);
  }
  if (type >= ConsoleMessage::kControl) message.setFlag(0);
  return wirePayloadLength(message) == 0 || message.payload != nullptr;
}

bool appendWireBytes(std::vector<std::uint8_t>& out, ConsoleMessage message) {
  if (!normaliseForWire(message)) return false;
  const std::size_t header = *wireHeaderLength(message.type());
  out.insert(out.end(), message.header.begin(), message.header.begin() + static_cast<std::ptrdiff_t>(header));
  out.insert(out.end(), message.payload, message.payload + wirePayloadLength(message));
  return true;
}

}  // namespace vantrel
