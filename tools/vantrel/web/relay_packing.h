#pragma once
// The console's bytes packed for the page, when the page asks for it with the WebSocket
// subprotocol kPackedSubprotocol. The link to a browser is often the slow one, and a browser
// pays for every byte it takes in more than one process; a screen update packs several times
// smaller with LZ4, which unpacks faster than the codec decodes.
//
// A packed message: a kind byte; for kind 0 the bytes as they are; for kind 1 the count of bytes
// it unpacks to (32 bits, little-endian) and one LZ4 block. Each message stands alone.
// Built into the gateway and into the page's WebAssembly core.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vantrel::web {

inline constexpr const char* kPackedSubprotocol = "vantrel.lz4";
// The most a message may unpack to: the gateway's messages stay far below it.
inline constexpr std::size_t kMostUnpacked = 4 * 1024 * 1024;

// `bytes` as one packed message in `out`: kind 1 when that is smaller and they are at most
// kMostUnpacked, kind 0 otherwise.
void packMessage(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& out);

// The bytes one packed message carries: within `message` for kind 0, in `room` (grown as needed)
// for kind 1. Nothing for what is not a packed message: no kind byte or an unknown one, a count
// of 0 or over kMostUnpacked, a block that does not unpack to exactly that count.
std::optional<std::span<const std::uint8_t>> unpackMessage(std::span<const std::uint8_t> message,
                                                           std::vector<std::uint8_t>& room);

// How many bytes a packed message carries, as it says; nothing where unpackMessage finds no
// packed message by its kind and count alone.
std::optional<std::size_t> unpackedSize(std::span<const std::uint8_t> message);
// Those bytes written to `to`, exactly as many: false when they are not, or do not unpack.
bool unpackInto(std::span<const std::uint8_t> message, std::span<std::uint8_t> to);

}  // namespace vantrel::web
