#include "protocol/message_assembler.h"

#include <algorithm>
#include <cstring>

namespace vantrel {
namespace {

// Moves up to `wanted` bytes from the front of `input` to `to`; returns how many.
std::size_t move(std::span<const std::uint8_t>& input, std::uint8_t* to, std::size_t wanted) {
  const std::size_t n = std::min(wanted, input.size());
  if (n > 0) std::memcpy(to, input.data(), n);
  input = input.subspan(n);
  return n;
}

}  // namespace

MessageAssembler::Step MessageAssembler::take(std::span<const std::uint8_t>& input) {
  if (broken_) return Step::Oversized;
  if (have_ == 0) {
    if (input.empty()) return Step::NeedMore;
    message_ = {};
    payloadLength_ = 0;
    have_ = move(input, message_.header.data(), 1);
    const auto header = wireHeaderLength(message_.type());
    if (!header) {
      have_ = 0;
      return Step::UnknownType;
    }
    if (message_.type() == ConsoleMessage::kServerNoResponse) {
      have_ = 0;
      return Step::NoResponse;
    }
    headerLength_ = *header;
  }
  if (have_ < headerLength_) {
    have_ += move(input, message_.header.data() + have_, headerLength_ - have_);
    if (have_ < headerLength_) return Step::NeedMore;
    const std::uint64_t length = wirePayloadLength(message_);
    if (length > capacity_) {
      broken_ = true;
      return Step::Oversized;
    }
    payloadLength_ = static_cast<std::size_t>(length);
    if (payload_.size() < payloadLength_) payload_.resize(payloadLength_);
  }
  const std::size_t payloadHave = have_ - headerLength_;
  have_ += move(input, payload_.data() + payloadHave, payloadLength_ - payloadHave);
  if (have_ < headerLength_ + payloadLength_) return Step::NeedMore;
  have_ = 0;
  message_.payload = payload_.data();
  return Step::Message;
}

std::span<std::uint8_t> MessageAssembler::payloadRoom() {
  if (broken_ || have_ == 0 || have_ < headerLength_) return {};
  const std::size_t payloadHave = have_ - headerLength_;
  return {payload_.data() + payloadHave, payloadLength_ - payloadHave};
}

void MessageAssembler::took(std::size_t count) { have_ += std::min(count, payloadRoom().size()); }

}  // namespace vantrel
