#include "protocol/message_framing.h"

#include <chrono>
#include <span>
#include <thread>

namespace vantrel {

ReadOutcome readMessage(ByteStream& stream, ConsoleMessage& message, std::size_t payloadCapacity) {
  std::span<std::uint8_t> header(message.header);
  if (!stream.receiveExact(header.first(1))) return ReadOutcome::Failed;
  const auto headerLength = wireHeaderLength(message.type());
  if (!headerLength) return ReadOutcome::UnknownType;
  if (message.type() == ConsoleMessage::kServerNoResponse) return ReadOutcome::NoResponse;
  if (!stream.receiveExact(header.subspan(1, *headerLength - 1))) return ReadOutcome::Failed;

  const std::uint64_t length = wirePayloadLength(message);
  if (length > std::uint64_t{payloadCapacity} || (length > 0 && message.payload == nullptr)) {
    return ReadOutcome::Oversized;
  }
  if (!stream.receiveExact({message.payload, static_cast<std::size_t>(length)})) return ReadOutcome::Failed;
  return ReadOutcome::Message;
}

bool writeMessage(ByteStream& stream, ConsoleMessage& message) {
  if (!normaliseForWire(message)) return false;
  const std::uint8_t type = message.type();
  if (!stream.sendExact(std::span(message.header).first(*wireHeaderLength(type)))) return false;
  if (type >= ConsoleMessage::kScreenUpdate) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return stream.sendExact({message.payload, wirePayloadLength(message)});
}

}  // namespace vantrel
