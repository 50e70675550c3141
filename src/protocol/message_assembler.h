#pragma once
// Console messages out of bytes that arrive in pieces of any size (a WebSocket, a socket that
// must not block): the framing of readMessage, fed instead of reading. Each message is handed
// out whole once its last byte is in; its payload stays valid until the next call.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "protocol/console_message.h"

namespace vantrel {

class MessageAssembler {
 public:
  enum class Step {
    NeedMore,     // every byte given was taken; the message is not complete yet
    Message,      // a whole message of a known type
    UnknownType,  // the type byte alone was taken
    NoResponse,   // type 116, one byte taken
    Oversized,    // the payload would exceed the capacity: the stream cannot be followed any more
  };

  // Payloads longer than `payloadCapacity` are refused; room for them is taken as they come.
  explicit MessageAssembler(std::size_t payloadCapacity) : capacity_(payloadCapacity) {}

  // Takes bytes from the front of `input` up to the end of one message (or of the input).
  // Once Oversized, always Oversized, and nothing more is taken.
  Step take(std::span<const std::uint8_t>& input);

  // The rest of the payload of the message under way, for bytes written straight into it (a
  // shell that unpacks them there spares a copy); empty when no payload is under way. `took`
  // then counts them in, at most the room, and the next take() goes on after them.
  std::span<std::uint8_t> payloadRoom();
  void took(std::size_t count);

  // The last Message: its record (payload pointer included) and its payload.
  const ConsoleMessage& message() const { return message_; }
  std::span<const std::uint8_t> payload() const { return {payload_.data(), payloadLength_}; }

 private:
  std::size_t capacity_;
  ConsoleMessage message_;
  std::size_t have_ = 0;           // bytes of the current message taken so far, header first
  std::size_t headerLength_ = 0;   // 0 until the type byte is in
  std::size_t payloadLength_ = 0;
  std::vector<std::uint8_t> payload_;
  bool broken_ = false;
};

}  // namespace vantrel
