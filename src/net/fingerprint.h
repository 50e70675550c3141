#pragma once
// How a console's key is named where people compare and pin it: "SHA256:" and the SHA-256 digest
// of the certificate's SubjectPublicKeyInfo (DER) in base64 without padding, 43 characters, as ssh
// shows host keys. Naming the key rather than the certificate keeps a pin valid across a renewed
// certificate with the same key. The digest itself comes from the platform's crypto library.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

using Sha256Digest = std::array<std::uint8_t, 32>;

inline constexpr std::string_view kFingerprintPrefix = "SHA256:";
inline constexpr std::size_t kFingerprintLength = 7 + 43;

std::string formatFingerprint(const Sha256Digest& digest);

// A pin as a user gives it: the text above, with blanks around it, the prefix in any case, and
// one "=" of padding tolerated. Anything else (a hex digest, another hash, a text cut short or
// one that names no exact digest) gives nothing.
std::optional<Sha256Digest> parseFingerprint(std::string_view text);

}  // namespace vantrel
