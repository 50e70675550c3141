#pragma once
// The message record of the console protocol. The first bytes of the record are exactly what
// goes on the wire (little-endian fields at fixed offsets); the payload pointer after them stays
// in memory: the source of a payload on send, its destination on receive.

#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "protocol/byte_io.h"

namespace vantrel {

struct ConsoleMessage {
  static constexpr std::size_t kHeaderCapacity = 20;

  // Types and the type 3 subtypes that framing itself looks at.
  static constexpr std::uint8_t kKeyEvent = 1;
  static constexpr std::uint8_t kPointerEvent = 2;
  static constexpr std::uint8_t kControl = 3;
  static constexpr std::uint8_t kScreenUpdate = 4;
  static constexpr std::uint8_t kOverlayUpdate = 5;
  static constexpr std::uint8_t kScreenFormat = 6;
  static constexpr std::uint8_t kServerNoResponse = 116;
  static constexpr std::uint16_t kClipboardText = 12;
  static constexpr std::uint16_t kDisplayDepth = 18;

  std::array<std::uint8_t, kHeaderCapacity> header{};
  std::uint8_t* payload = nullptr;

  std::uint8_t type() const { return header[0]; }
  std::uint8_t flag() const { return header[1]; }
  std::uint16_t u16At(std::size_t offset) const { return loadU16le(field(offset, 2)); }
  std::uint32_t u32At(std::size_t offset) const { return loadU32le(field(offset, 4)); }
  void setType(std::uint8_t type) { header[0] = type; }
  void setFlag(std::uint8_t flag) { header[1] = flag; }
  void setU16At(std::size_t offset, std::uint16_t v) { storeU16le(field(offset, 2), v); }
  void setU32At(std::size_t offset, std::uint32_t v) { storeU32le(field(offset, 4), v); }

 private:
  const std::uint8_t* field(std::size_t offset, [[maybe_unused]] std::size_t width) const {
    assert(offset + width <= kHeaderCapacity);
    return header.data() + offset;
  }
  std::uint8_t* field(std::size_t offset, std::size_t width) {
    return const_cast<std::uint8_t*>(std::as_const(*this).field(offset, width));
  }
};

// The record is 24 bytes where pointers are 4 bytes (the shipped DLL) and 32 where they are 8;
// the header bytes, and so the wire, are the same on every build.
static_assert(offsetof(ConsoleMessage, header) == 0);
static_assert(sizeof(void*) != 4 || (offsetof(ConsoleMessage, payload) == 20 && sizeof(ConsoleMessage) == 24));
static_assert(sizeof(void*) != 8 || (offsetof(ConsoleMessage, payload) == 24 && sizeof(ConsoleMessage) == 32));

// The records a viewer sends: a key pressed or released, the pointer's position and buttons,
// and a type 3 message of a subtype with its 32-bit value.
ConsoleMessage keyEventMessage(std::uint32_t keysym, bool down);
ConsoleMessage pointerEventMessage(std::uint16_t x, std::uint16_t y, std::uint8_t buttons);
ConsoleMessage controlMessage(std::uint16_t subtype, std::uint32_t value = 0);

// Bytes of the header on the wire, type byte included; none for a type outside the table.
std::optional<std::size_t> wireHeaderLength(std::uint8_t type);

// The length of the payload that follows the header of this record on the wire.
std::uint32_t wirePayloadLength(const ConsoleMessage& message);

// Sets the header fields the type does not carry as the viewer writes them (0). False for a
// type outside 1 to 6, and for a payload length without a payload: such a record is not sent.
bool normaliseForWire(ConsoleMessage& message);

// The record's bytes on the wire, header then payload, appended to `out`; false (nothing
// appended) where normaliseForWire refuses it.
bool appendWireBytes(std::vector<std::uint8_t>& out, ConsoleMessage message);

}  // namespace vantrel
