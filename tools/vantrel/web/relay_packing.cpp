#include "web/relay_packing.h"

#include <lz4.h>

#include <cstring>

#include "protocol/byte_io.h"

namespace vantrel::web {
namespace {

constexpr std::uint8_t kAsItIs = 0;
constexpr std::uint8_t kLz4 = 1;
constexpr std::size_t kLz4Header = 5;  // the kind and the unpacked count

// `bytes` as kind 1 in `out`, when that is smaller than kind 0 would be.
bool packLz4(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& out) {
  const int length = static_cast<int>(bytes.size());
  const int bound = LZ4_compressBound(length);
  out.resize(kLz4Header + static_cast<std::size_t>(bound));
  const int packed = LZ4_compress_default(reinterpret_cast<const char*>(bytes.data()),
                                          reinterpret_cast<char*>(out.data() + kLz4Header), length, bound);
  if (packed > 0 && kLz4Header + static_cast<std::size_t>(packed) < 1 + bytes.size()) {
    out[0] = kLz4;
    storeU32le(out.data() + 1, static_cast<std::uint32_t>(bytes.size()));
    out.resize(kLz4Header + static_cast<std::size_t>(packed));
    return true;
  }
  return false;
}

}  // namespace

void packMessage(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& out) {
  if (bytes.size() <= kMostUnpacked && packLz4(bytes, out)) return;
  out.resize(1 + bytes.size());
  out[0] = kAsItIs;
  if (!bytes.empty()) std::memcpy(out.data() + 1, bytes.data(), bytes.size());
}

std::optional<std::size_t> unpackedSize(std::span<const std::uint8_t> message) {
  if (message.empty()) return std::nullopt;
  if (message[0] == kAsItIs) return message.size() - 1;
  if (message[0] != kLz4 || message.size() < kLz4Header) return std::nullopt;
  const std::uint32_t count = loadU32le(message.data() + 1);
  if (count == 0 || count > kMostUnpacked) return std::nullopt;
  return count;
}

bool unpackInto(std::span<const std::uint8_t> message, std::span<std::uint8_t> to) {
  if (unpackedSize(message) != to.size()) return false;
  if (message[0] == kAsItIs) {
    if (!to.empty()) std::memcpy(to.data(), message.data() + 1, to.size());
    return true;
  }
  const auto block = message.subspan(kLz4Header);
  const int unpacked = LZ4_decompress_safe(reinterpret_cast<const char*>(block.data()),
                                           reinterpret_cast<char*>(to.data()), static_cast<int>(block.size()),
                                           static_cast<int>(to.size()));
  return unpacked >= 0 && static_cast<std::size_t>(unpacked) == to.size();
}

std::optional<std::span<const std::uint8_t>> unpackMessage(std::span<const std::uint8_t> message,
                                                           std::vector<std::uint8_t>& room) {
  const auto size = unpackedSize(message);
  if (!size) return std::nullopt;
  if (message[0] == kAsItIs) return message.subspan(1);
  if (room.size() < *size) room.resize(*size);
  const std::span<std::uint8_t> into(room.data(), *size);
  if (!unpackInto(message, into)) return std::nullopt;
  return into;
}

}  // namespace vantrel::web
