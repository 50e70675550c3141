#include "net/fingerprint.h"

#include <algorithm>
#include <cctype>

namespace vantrel {
namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kEncodedLength = 43;  // 256 bits in 6-bit characters, the last holding 4

std::optional<unsigned> sextet(char c) {
  const auto at = kAlphabet.find(c);
  if (at == std::string_view::npos) return std::nullopt;
  return static_cast<unsigned>(at);
}

std::string_view trimmed(std::string_view text) {
  const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

bool prefixMatches(std::string_view text) {
  return text.size() >= kFingerprintPrefix.size() &&
         std::equal(kFingerprintPrefix.begin(), kFingerprintPrefix.end(), text.begin(), [](char a, char b) {
           return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
         });
}

}  // namespace

std::string formatFingerprint(const Sha256Digest& digest) {
  std::string text(kFingerprintPrefix);
  std::uint32_t bits = 0;
  int held = 0;
  for (const std::uint8_t byte : digest) {
    bits = (bits << 8) | byte;
    held += 8;
    while (held >= 6) {
      held -= 6;
      text += kAlphabet[(bits >> held) & 0x3F];
    }
  }
  if (held > 0) text += kAlphabet[(bits << (6 - held)) & 0x3F];
  return text;
}

std::optional<Sha256Digest> parseFingerprint(std::string_view text) {
  text = trimmed(text);
  if (!prefixMatches(text)) return std::nullopt;
  text.remove_prefix(kFingerprintPrefix.size());
  if (text.size() == kEncodedLength + 1 && text.back() == '=') text.remove_suffix(1);
  if (text.size() != kEncodedLength) return std::nullopt;

  Sha256Digest digest{};
  std::uint32_t bits = 0;
  int held = 0;
  std::size_t out = 0;
  for (const char c : text) {
    const auto value = sextet(c);
    if (!value) return std::nullopt;
    bits = (bits << 6) | *value;
    held += 6;
    if (held >= 8) {
      held -= 8;
      digest[out++] = static_cast<std::uint8_t>(bits >> held);
    }
  }
  // The last character carries two bits past the digest; a text where they are set is not the
  // one this digest prints as.
  if ((bits & ((1u << held) - 1)) != 0) return std::nullopt;
  return digest;
}

}  // namespace vantrel
