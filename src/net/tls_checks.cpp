#include "net/tls_checks.h"

#include <cstdio>

namespace vantrel {
namespace {

std::string hexByte(std::uint8_t byte) {
  char text[8] = {};
  std::snprintf(text, sizeof text, "0x%02X", byte);
  return text;
}

}  // namespace

std::optional<std::string> checkTlsRecords(std::span<const std::uint8_t> received) {
  while (!received.empty()) {
    // change_cipher_spec, alert, handshake, application_data
    if (received[0] < 20 || received[0] > 23) {
      return "the console does not speak TLS: its record starts with " + hexByte(received[0]) +
             " (a console without TLS sends 0x6B, its first status word)";
    }
    if (received.size() < kTlsRecordHeaderSize) break;
    if (received[1] != 3) return "a record of protocol version " + hexByte(received[1]) + "." + hexByte(received[2]) + " is not TLS";
    const std::size_t length = std::size_t{received[3]} << 8 | received[4];
    if (length > kTlsMaxRecordBody) {
      return "a record of " + std::to_string(length) + " bytes, more than TLS allows (" +
             std::to_string(kTlsMaxRecordBody) + ")";
    }
    if (received.size() < kTlsRecordHeaderSize + length) break;
    received = received.subspan(kTlsRecordHeaderSize + length);
  }
  return std::nullopt;
}

std::optional<std::string> checkTlsVersion(TlsVersion version) {
  switch (version) {
    case TlsVersion::Tls12:
    case TlsVersion::Tls13: return std::nullopt;
    case TlsVersion::Ssl3: return "the console chose SSL 3.0; TLS 1.2 is the least taken";
    case TlsVersion::Tls10: return "the console chose TLS 1.0; TLS 1.2 is the least taken";
    case TlsVersion::Tls11: return "the console chose TLS 1.1; TLS 1.2 is the least taken";
    case TlsVersion::Unknown: break;
  }
  return "the console chose a protocol version this viewer does not know";
}

std::optional<std::string> checkPinnedKey(const Sha256Digest& pin, const Sha256Digest& presented) {
  if (presented == pin) return std::nullopt;
  return "the console's key is " + formatFingerprint(presented) + ", not the pinned " + formatFingerprint(pin) +
         " (TlsFingerprint): another console, or this one with a new key";
}

}  // namespace vantrel
