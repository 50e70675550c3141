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

#include "net/fingerprint.h"

namespace vantrel {

inline constexpr std::size_t kTlsRecordHeaderSize = 5;
// 2^14 bytes of data and the 2048 bytes of expansion TLS 1.2 allows a record; TLS 1.3 allows less.
inline constexpr std::size_t kTlsMaxRecordBody = 16384 + 2048;

// The console's bytes as received, from a record's start: every record header in them, whole or
// begun, must be one TLS can send. A console that does not speak TLS is told apart by its first
// byte (a clear console's first status word starts with 107), and no header may announce a
// record longer than TLS allows.
std::optional<std::string> checkTlsRecords(std::span<const std::uint8_t> received);

enum class TlsVersion { Ssl3, Tls10, Tls11, Tls12, Tls13, Unknown };
// TLS 1.2 is the least we take.
std::optional<std::string> checkTlsVersion(TlsVersion version);

std::optional<std::string> checkPinnedKey(const Sha256Digest& pin, const Sha256Digest& presented);

}  // namespace vantrel
