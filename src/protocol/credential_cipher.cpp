#include "protocol/credential_cipher.h"

#include <algorithm>
#include <cstring>

#include "protocol/des_tables.h"

namespace vantrel {
namespace {

using Bits64 = std::array<std::uint8_t, 64>;
using Bits32 = std::array<std::uint8_t, 32>;

// Bit n (1-based) is bit (n-1) mod 8 of byte (n-1) div 8, least significant first.
Bits64 spreadBits(const std::uint8_t* bytes) {
  Bits64 bits{};
  for (std::size_t i = 0; i < 64; ++i) bits[i] = static_cast<std::uint8_t>((unsigned{bytes[i / 8]} >> (i % 8)) & 1u);
  return bits;
}

void packBits(const Bits64& bits, std::uint8_t* bytes) {
  for (std::size_t b = 0; b < 8; ++b) {
    std::uint8_t v = 0;
    for (std::size_t i = 0; i < 8; ++i) v = static_cast<std::uint8_t>(v | (bits[b * 8 + i] << i));
    bytes[b] = v;
  }
}

Bits32 roundFunction(const Bits32& half, const std::array<std::uint8_t, 48>& roundKey) {
  std::array<std::uint8_t, 48> x{};
  for (std::size_t i = 0; i < 48; ++i) x[i] = half[des::kExpansion[i] - 1u] ^ roundKey[i];

  Bits32 substituted{};
  for (std::size_t j = 0; j < 8; ++j) {
    const std::uint8_t* b = &x[6 * j];
    const unsigned row = 2u * b[0] + b[5];
    const unsigned column = 8u * b[1] + 4u * b[2] + 2u * b[3] + b[4];
    const unsigned v = des::kSBoxes[j][row][column];
    for (std::size_t k = 0; k < 4; ++k) substituted[4 * j + k] = (v >> k) & 1u;
  }

  Bits32 out{};
  for (std::size_t i = 0; i < 32; ++i) out[i] = substituted[des::kRoundPermutation[i] - 1u];
  return out;
}

}  // namespace

CredentialCipher::CredentialCipher() {
  std::strcpy(keyText_.data(), kFixedKey);
  keyLength_ = 16;
}

void CredentialCipher::scramble(const std::uint8_t* input, std::uint8_t* output, std::size_t length) {
  cipherRun(output, input, length, keyText_.data(), keyLength_, Direction::Decrypt);
}

void CredentialCipher::unscramble(const std::uint8_t* input, std::uint8_t* output,
                                  std::size_t length) {
  cipherRun(output, input, length, keyText_.data(), keyLength_, Direction::Encrypt);
}

bool CredentialCipher::setCipherKey(const char* text, std::int32_t length) {
  if (text == nullptr || length < 0 || length >= static_cast<std::int32_t>(kKeyTextSize)) return false;
  keyText_.fill(0);
  std::strncpy(keyText_.data(), text, static_cast<std::size_t>(length));
  keyLength_ = length;
  return true;
}

CredentialCipher::Schedule CredentialCipher::buildSchedule(const std::uint8_t* keyBytes) {
  const Bits64 key = spreadBits(keyBytes);
  std::array<std::uint8_t, 56> cd{};
  for (std::size_t i = 0; i < 56; ++i) cd[i] = key[des::kPermutedChoice1[i] - 1u];

  Schedule schedule{};
  for (std::size_t round = 0; round < 16; ++round) {
    const auto shift = des::kShifts[round];
    std::rotate(cd.begin(), cd.begin() + shift, cd.begin() + 28);
    std::rotate(cd.begin() + 28, cd.begin() + 28 + shift, cd.end());
    for (std::size_t i = 0; i < 48; ++i) schedule[round][i] = cd[des::kPermutedChoice2[i] - 1u];
  }
  return schedule;
}

void CredentialCipher::cipherBlock(const Schedule& schedule, Direction direction,
                                   const std::uint8_t* in, std::uint8_t* out) {
  const Bits64 bits = spreadBits(in);
  Bits64 permuted{};
  for (std::size_t i = 0; i < 64; ++i) permuted[i] = bits[des::kInitialPermutation[i] - 1u];

  Bits32 left{};
  Bits32 right{};
  std::copy_n(permuted.begin(), 32, left.begin());
  std::copy_n(permuted.begin() + 32, 32, right.begin());

  for (std::size_t i = 0; i < 16; ++i) {
    if (direction == Direction::Encrypt) {
      const Bits32 f = roundFunction(right, schedule[i]);
      Bits32 next{};
      for (std::size_t k = 0; k < 32; ++k) next[k] = left[k] ^ f[k];
      left = right;
      right = next;
    } else {
      const Bits32 f = roundFunction(left, schedule[15 - i]);
      Bits32 next{};
      for (std::size_t k = 0; k < 32; ++k) next[k] = right[k] ^ f[k];
      right = left;
      left = next;
    }
  }

  // No exchange of the halves before the final permutation.
  Bits64 joined{};
  std::copy(left.begin(), left.end(), joined.begin());
  std::copy(right.begin(), right.end(), joined.begin() + 32);
  Bits64 result{};
  for (std::size_t i = 0; i < 64; ++i) result[i] = joined[des::kFinalPermutation[i] - 1u];
  packBits(result, out);
}

bool CredentialCipher::cipherRun(std::uint8_t* output, const std::uint8_t* input,
                                 std::size_t length, const char* key, std::int32_t keyLength,
                                 Direction direction) {
  const std::size_t rounded = roundedLength(length);
  if (output == nullptr || input == nullptr || key == nullptr || rounded == 0) return false;

  keyMaterial_.fill(0);
  const auto keyBytes = static_cast<std::size_t>(std::clamp<std::int32_t>(keyLength, 0, 16));
  std::memcpy(keyMaterial_.data(), key, keyBytes);
  schedule1_ = buildSchedule(keyMaterial_.data());
  triple_ = keyLength > 8;
  if (triple_) schedule2_ = buildSchedule(keyMaterial_.data() + 8);

  const Direction other = direction == Direction::Encrypt ? Direction::Decrypt : Direction::Encrypt;
  std::array<std::uint8_t, 8> block{};
  for (std::size_t offset = 0; offset < rounded; offset += 8) {
    cipherBlock(schedule1_, direction, input + offset, block.data());
    if (triple_) {
      cipherBlock(schedule2_, other, block.data(), block.data());
      cipherBlock(schedule1_, direction, block.data(), block.data());
    }
    std::memcpy(output + offset, block.data(), block.size());
  }
  return true;
}

}  // namespace vantrel
