#pragma once
// What a TLS client of ours decides about the console it reached, whatever library speaks TLS
// for it: whether the next bytes can be a TLS record, how long that record may be, whether the
// negotiated version is one we take, and whether the console's key is the pinned one. Each
// check gives nothing when it passes and the reason, in words for a trace, when it fails.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>

#include "net/fingerprint.h"

namespace vantrel {

inline constexpr std::size_t kTlsRecordHeaderSize = 5;
// 2^14 bytes of data and the 2048 bytes of expansion TLS 1.2 allows a record; TLS 1.3 allows less.
inline constexpr std::size_t kTlsMaxRecordBody = 16384 + 2048;

// The first byte of a record: one of TLS's content types, or else the console is not speaking
// TLS at all (a clear console's first status word starts with 107).
std::optional<std::string> checkTlsRecordType(std::uint8_t firstByte);

// The length of the record's body from its whole header, or why the header cannot open a record.
std::variant<std::size_t, std::string> tlsRecordBodyLength(std::span<const std::uint8_t, kTlsRecordHeaderSize> header);

enum class TlsVersion { Ssl3, Tls10, Tls11, Tls12, Tls13, Unknown };
// TLS 1.2 is the least we take.
std::optional<std::string> checkTlsVersion(TlsVersion version);

std::optional<std::string> checkPinnedKey(const Sha256Digest& pin, const Sha256Digest& presented);

}  // namespace vantrel
