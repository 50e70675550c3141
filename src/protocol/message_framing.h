#pragma once
// One ConsoleMessage onto or off a connection's stream: the type byte, the rest of the header
// that the type fixes, then exactly the payload its length field gives.

#include <cstddef>

#include "net/byte_stream.h"
#include "protocol/console_message.h"

namespace vantrel {

enum class ReadOutcome {
  Message,      // a whole message of a known type
  Failed,       // a read failed (peer closed or stream error); the stream position is lost
  UnknownType,  // the type byte alone was consumed
  NoResponse,   // type 116, one byte consumed
  Oversized,    // the payload would not fit the buffer; nothing of it was read or written
};

// The payload goes to `message.payload`, which holds `payloadCapacity` bytes.
ReadOutcome readMessage(ByteStream& stream, ConsoleMessage& message, std::size_t payloadCapacity);

// Writes as the viewer does: header fields that the type does not carry go out as 0, and the
// server's types 4 to 6 pause 10 ms between header and payload. A type outside 1 to 6, or a
// payload length without a payload, writes nothing and gives false.
bool writeMessage(ByteStream& stream, ConsoleMessage& message);

}  // namespace vantrel
